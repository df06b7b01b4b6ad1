#!/usr/bin/env python3
"""Peer for recordcsv-count: reads a whole CSV file with Python's csv module into
lists and prints the same "rows=R fields=F" line. Usage: python_csv_count.py FILE"""
import csv
import sys

with open(sys.argv[1], newline="", encoding="utf-8") as f:
    reader = csv.reader(f)
    next(reader, None)
    rows = list(reader)
print(f"rows={len(rows)} fields={sum(len(r) for r in rows)}")
