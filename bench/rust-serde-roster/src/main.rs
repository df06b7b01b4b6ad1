// Peer for record-decode: reads a roster file whole, decodes every row into a typed
// student record by header name and prints "rows=R".
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
    let path = env::args().nth(1).unwrap_or_else(|| {
        eprintln!("usage: rust-serde-roster FILE");
        process::exit(2);
    });
    let data = std::fs::read(&path).unwrap_or_else(|e| fail(e));
    let mut reader = csv::ReaderBuilder::new().has_headers(true).from_reader(&data[..]);
    let students: Vec<Student> = reader
        .deserialize()
        .collect::<Result<_, _>>()
        .unwrap_or_else(|e| fail(e));
    println!("rows={}", students.len());
}
