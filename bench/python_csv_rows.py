#!/usr/bin/env python3
"""Peer for csvmodule-count: counts the rows and fields of a CSV file with Python's csv
module, row by row, keeping nothing. Usage: python_csv_rows.py FILE"""
import csv
import sys

rows = fields = 0
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    for row in csv.reader(f):
        rows += 1
        fields += len(row)
print(f"rows={rows} fields={fields}")
