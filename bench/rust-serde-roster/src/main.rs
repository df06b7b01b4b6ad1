// Peer for record-decode: reads a roster file whole, decodes every row into a typed
// student record by header name and prints "rows=R"; with --encode OUT it then writes the
// records back into OUT with their header row.
use serde_derive::{Deserialize, Serialize};
use std::env;
use std::process;

#[derive(Debug, Deserialize, Serialize)]
struct Student {
    #[serde(rename = "Student ID")]
    id: i64,
    #[serde(rename = "First Name")]
    first_name: String,
    #[serde(rename = "Last Name")]
    last_name: String,
    #[serde(rename = "Grade")]
    grade: i64,
    #[serde(rename = "Teacher")]
    teacher: String,
    #[serde(rename = "Filename")]
    filename: String,
    #[serde(rename = "Notes")]
    notes: String,
}

fn fail(message: impl std::fmt::Display) -> ! {
    eprintln!("{}", message);
    process::exit(1);
}

fn main() {
    let args: Vec<String> = env::args().skip(1).collect();
    let (path, output) = match args.as_slice() {
        [path] => (path.clone(), None),
        [flag, output, path] if flag == "--encode" => (path.clone(), Some(output.clone())),
        _ => {
            eprintln!("usage: rust-serde-roster [--encode OUT] FILE");
            process::exit(2);
        }
    };
    let data = std::fs::read(&path).unwrap_or_else(|e| fail(e));
    let mut reader = csv::ReaderBuilder::new().has_headers(true).from_reader(&data[..]);
    let students: Vec<Student> = reader
        .deserialize()
        .collect::<Result<_, _>>()
        .unwrap_or_else(|e| fail(e));
    if let Some(output) = output {
        let mut writer = csv::Writer::from_path(&output).unwrap_or_else(|e| fail(e));
        for student in &students {
            writer.serialize(student).unwrap_or_else(|e| fail(e));
        }
        writer.flush().unwrap_or_else(|e| fail(e));
    }
    println!("rows={}", students.len());
}
