#!/usr/bin/env python3
"""Runs two commands in turn, A B A B ..., and prints the median CPU time (user plus system) and
peak memory of each, and the median of the pairwise ratios A/B. Output goes to /dev/null.

usage: paired_runs.py RUNS COMMAND_A... --vs COMMAND_B...
"""
import os
import statistics
import subprocess
import sys


def measure(command, prepare=None):
    """CPU seconds and peak KiB of one run, after `prepare()` when given (not measured)."""
    if prepare:
        prepare()
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen(command, stdout=sink, stderr=sink)
        _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{command[0]} exited with {os.waitstatus_to_exitcode(status)}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def paired(runs, first, second, prepare=None):
    """The lines that report RUNS pairs of FIRST and SECOND, each run after `prepare()`."""
    measure(first, prepare), measure(second, prepare)  # warm the page cache for both
    pairs = [(measure(first, prepare), measure(second, prepare)) for _ in range(runs)]
    lines = []
    for name, index in (("cpu s", 0), ("peak KiB", 1)):
        a = statistics.median(pair[0][index] for pair in pairs)
        b = statistics.median(pair[1][index] for pair in pairs)
        ratio = statistics.median(pair[0][index] / pair[1][index] for pair in pairs)
        lines.append(f"{name}: A {a:.2f}  B {b:.2f}  A/B {ratio:.3f} (median of {runs} pairs)")
    return lines


def main():
    runs = int(sys.argv[1])
    split = sys.argv.index("--vs")
    for line in paired(runs, sys.argv[2:split], sys.argv[split + 1:]):
        print(line)


if __name__ == "__main__":
    main()
