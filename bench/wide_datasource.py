#!/usr/bin/env python3
"""Times the command on a datasource of 200,000 columns and three rows, the name column
last, in the four ways that walk every column: the names, no header row, a token of a far
column, and a misspelled token that every header is searched for. Each answer is checked,
so that a broken build cannot pass for a fast one. Exits 1 when an answer is wrong or the
four runs together take longer than BOUND seconds.

Usage: wide_datasource.py COMMAND [BOUND]"""
import os
import subprocess
import sys
import tempfile
import time

COLUMNS = 200_000
DEFAULT_BOUND = 10.0


def row(prefix, last, separator):
    return "".join(f"{prefix}{column}{separator}" for column in range(COLUMNS - 1)) + last + "\n"


def cases(file):
    hint = ("pelmora-zava: {C199998} is not a column header, a built-in token or a --token name; "
            "it stands for nothing. Did you mean {c199998}?\n")
    every_field = row("c", "Name", " ") + row("v", "vName", " ") + row("x", "xName", " ")
    return [
        ("names", [file], "vName\nxName\n", ""),
        ("no header row", [file, "--header", "none"], every_field, ""),
        ("far column", [file, "--folder", "{c199998} {Filename}"], "v199998 vName\nx199998 xName\n", ""),
        ("misspelled token", [file, "--folder", "{Filename}{C199998}"], "vName\nxName\n", hint),
    ]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    command = sys.argv[1]
    bound = float(sys.argv[2]) if len(sys.argv) == 3 else DEFAULT_BOUND
    with tempfile.TemporaryDirectory() as folder:
        file = os.path.join(folder, "wide.csv")
        with open(file, "w", encoding="utf-8", newline="") as out:
            out.write(row("c", "Name", ",") + row("v", "vName", ",") + row("x", "xName", ","))
        total, wrong = 0.0, []
        for name, arguments, expected_out, expected_err in cases(file):
            started = time.monotonic()
            run = subprocess.run([command, *arguments], capture_output=True, text=True, check=False)
            took = time.monotonic() - started
            total += took
            print(f"{took:7.2f} s  {name}")
            if (run.returncode, run.stdout, run.stderr) != (0, expected_out, expected_err):
                wrong.append(f"{name}: status {run.returncode}, {len(run.stdout)} bytes out, "
                             f"error {run.stderr[:200]!r}")
    print(f"{total:7.2f} s  in all, bound {bound:g} s")
    for line in wrong:
        print("wrong answer, " + line, file=sys.stderr)
    if total > bound:
        print(f"the wide datasource took {total:.2f} s, more than its bound of {bound:g} s", file=sys.stderr)
    return 1 if wrong or total > bound else 0


if __name__ == "__main__":
    sys.exit(main())
