#!/usr/bin/env python3
"""Peer for timeseries-parse: reads an annotated CSV query answer with Python's csv module
and builds one typed dict per record, converting each cell by its column's #datatype
(a cell that does not convert is left out), then prints "records=N".
Usage: python_annotated_peer.py FILE"""
import base64
import csv
import sys
from datetime import datetime

ANNOTATIONS = ("#datatype", "#group", "#default")


def boolean(text):
    text = text.lstrip().lstrip("+-").lstrip("0")
    return bool(text) and text[0] in "YyTt123456789"


def date_time(text):
    # datetime takes microseconds at most: the fraction is cut or padded to six digits.
    if "." in text:
        whole, fraction = text[:-1].split(".")
        text = whole + "." + (fraction + "000000")[:6] + "+00:00"
    return datetime.fromisoformat(text)


CONVERSIONS = {"boolean": boolean, "long": int, "unsignedLong": int, "double": float,
               "duration": int, "dateTime:RFC3339": date_time, "dateTime:RFC3339Nano": date_time,
               "base64Binary": base64.b64decode}


def main():
    records = 0
    types = defaults = names = conversions = None
    in_header = False
    with open(sys.argv[1], newline="", encoding="utf-8") as f:
        for row in csv.reader(f):
            if len(row) < 2:
                continue
            kind = row[0]
            if kind in ANNOTATIONS:
                if not in_header:
                    types, defaults, in_header = [], [], True
                if kind == "#datatype":
                    types = row[1:]
                    defaults = [""] * len(types)
                elif kind == "#default":
                    defaults = row[1:]
                continue
            if in_header:
                names = row[1:]
                conversions = [CONVERSIONS.get(t) for t in types]
                in_header = False
                continue
            record = {}
            for k, name in enumerate(names):
                cell = row[k + 1] or defaults[k]
                convert = conversions[k]
                if convert is None:
                    record[name] = cell
                    continue
                try:
                    record[name] = convert(cell)
                except ValueError:
                    pass
            records += 1
    print(f"records={records}")


if __name__ == "__main__":
    main()
