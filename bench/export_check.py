#!/usr/bin/env python3
"""Pairs the command's export and dry run against another build's (a baseline) on a roster, in
each state of the export folder that the check before the export treats apart: absent, empty,
and holding every folder; then a dry run and an export 81 levels deep, and the names alone
(without --export), which the import's bookkeeping for the check must leave as they were.
CPU time and peak memory come from paired_runs.py (A is OURS, B the baseline). The folders go
to SCRATCH, /dev/shm by default: where making a folder is cheap, the check's own cost shows most.

usage: export_check.py OURS BASELINE ROSTER [--runs N] [--scratch DIR]
"""
import argparse
import os
import shutil
import subprocess
import tempfile

from paired_runs import paired

FOLDER = "{Last Name} {First Name} {Student ID}"
DEEP = 81  # levels below the export folder: the name, 79 folders of a sub-folder name, RAW


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("ours")
    parser.add_argument("baseline")
    parser.add_argument("roster")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--scratch", default="/dev/shm" if os.path.isdir("/dev/shm") else None)
    args = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix="export-check-", dir=args.scratch)
    root = os.path.join(scratch, "root")

    def absent():
        subprocess.run(["rm", "-rf", root], check=True)  # faster than rmtree over a million folders

    def empty():
        absent()
        os.mkdir(root)

    def full():
        if not os.path.isdir(os.path.join(root, ".full")):
            absent()
            subprocess.run(names + ["--export", root], check=True, stdout=subprocess.DEVNULL)
            os.mkdir(os.path.join(root, ".full"))

    def pair(title, options, prepare=None):
        print(f"== {title}", flush=True)
        for line in paired(args.runs, [args.ours, *base, *options], [args.baseline, *base, *options], prepare):
            print(line, flush=True)

    base = [args.roster, "--folder", FOLDER]
    names = [args.ours, *base]
    deep = ["--illegal", "none", "--subfolder", "/".join(str(i) for i in range(1, DEEP - 1)) + "/RAW"]
    try:
        pair("names only", [])
        pair("dry run, absent root", ["--export", root, "--dry-run"], absent)
        pair(f"dry run {DEEP} levels deep, absent root", [*deep, "--export", root, "--dry-run"], absent)
        pair("export, absent root", ["--export", root], absent)
        pair("dry run, empty root", ["--export", root, "--dry-run"], empty)
        pair("export, empty root", ["--export", root], empty)
        pair("dry run, root holding every folder", ["--export", root, "--dry-run"], full)
        pair("export, root holding every folder", ["--export", root], full)
        # 500 names with one sub-folder each, 81 levels down: 40,500 folders, as `xargs mkdir -p` makes them.
        series = ["--add-series", "N", str(40500 // DEEP), "--illegal", "none", "--subfolder",
                  "/".join(str(i) for i in range(1, DEEP - 1)) + "/RAW"]
        print(f"== export {DEEP} levels deep, absent root, {40500 // DEEP} names", flush=True)
        for line in paired(args.runs * 2, [args.ours, *series, "--export", root],
                           [args.baseline, *series, "--export", root], absent):
            print(line, flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
