// Peer for recordcsv-count: reads a whole CSV file into string records and
// prints the same "rows=R fields=F" line. With --rows it reads record by record
// from the file into one reused record, keeping nothing, the way the crate's users
// read a file.
use std::env;
use std::process;

fn fail(message: impl std::fmt::Display) -> ! {
    eprintln!("{}", message);
    process::exit(1);
}

fn main() {
    let args: Vec<String> = env::args().skip(1).collect();
    let rows_mode = args.iter().any(|a| a == "--rows");
    let path = args.iter().find(|a| *a != "--rows").unwrap_or_else(|| {
        eprintln!("usage: rust-csv-count [--rows] FILE");
        process::exit(2);
    });
    let mut builder = csv::ReaderBuilder::new();
    builder.has_headers(true);
    let (rows, fields) = if rows_mode {
        let mut reader = builder.from_path(path).unwrap_or_else(|e| fail(e));
        let mut record = csv::StringRecord::new();
        let (mut rows, mut fields) = (0usize, 0usize);
        while reader.read_record(&mut record).unwrap_or_else(|e| fail(e)) {
            rows += 1;
            fields += record.len();
        }
        (rows, fields)
    } else {
        let data = std::fs::read(path).unwrap_or_else(|e| fail(e));
        let mut reader = builder.from_reader(&data[..]);
        let mut records = Vec::new();
        for result in reader.records() {
            records.push(result.unwrap_or_else(|e| fail(e)));
        }
        (records.len(), records.iter().map(|r| r.len()).sum())
    };
    println!("rows={} fields={}", rows, fields);
}
