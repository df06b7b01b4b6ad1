// Peer for recordcsv-count: reads a whole CSV file into string records and
// prints the same "rows=R fields=F" line.
use std::env;
use std::process;

fn main() {
    let path = env::args().nth(1).unwrap_or_else(|| {
        eprintln!("usage: rust-csv-count FILE");
        process::exit(2);
    });
    let data = std::fs::read(&path).unwrap_or_else(|e| {
        eprintln!("{}", e);
        process::exit(1);
    });
    let mut reader = csv::ReaderBuilder::new().has_headers(true).from_reader(&data[..]);
    let mut records = Vec::new();
    for result in reader.records() {
        match result {
            Ok(record) => records.push(record),
            Err(e) => {
                eprintln!("{}", e);
                process::exit(1);
            }
        }
    }
    let fields: usize = records.iter().map(|r| r.len()).sum();
    println!("rows={} fields={}", records.len(), fields);
}
