#!/usr/bin/env python3
"""Writes a reproducible roster of students to OUT: a header row, then ROWS rows with
non-ASCII names, quoted fields holding commas, doubled quotes and line breaks.
The seed is fixed, so the same ROWS always gives the same bytes.

Usage: gen_roster.py ROWS OUT"""
import random
import sys

FIRST_NAMES = ["Anna", "Ben", "Chloé", "Dmitri", "Émile", "Fatima", "Gustav", "Hana", "Ígor",
               "Jürgen", "Kai", "Léa", "Mateo", "Nora", "Øystein", "Priya", "Quinn", "Rosa",
               "Søren", "Tomás", "Uma", "Vera", "Wei", "Xénia", "Yusuf", "Zoë"]
LAST_NAMES = ["Smith", "O'Brien", "Müller", "García", "Nguyen", "Kowalski", "Rossi", "Dubois",
              "Andersson", "Tanaka", "de la Cruz", "van Dijk", "Ивanova", "Øster"]
TEACHERS = ["Mr. Brown", "Ms. Green, PhD", 'Mrs. "Kim" Lee', "Dr. White"]
NOTES = ["", "", "retake", "sibling photo, group B", "line1\nline2"]
HEADER = "Student ID,First Name,Last Name,Grade,Teacher,Filename,Notes\n"


def field(text):
    """Quotes a field only when it needs it, doubling the quotes inside."""
    if any(c in text for c in ',"\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def main():
    rows, out = int(sys.argv[1]), sys.argv[2]
    rnd = random.Random(74)
    with open(out, "w", encoding="utf-8", newline="") as f:
        f.write(HEADER)
        for i in range(rows):
            # The draws keep this order so that a roster of a given size never changes.
            first, last = rnd.choice(FIRST_NAMES), rnd.choice(LAST_NAMES)
            teacher = rnd.choice(TEACHERS)
            note = rnd.choice(NOTES)
            grade = rnd.randint(1, 12)
            f.write(f"{100000 + i},{field(first)},{field(last)},{grade},{field(teacher)},"
                    f"IMG_{i:07d}.jpg,{field(note)}\n")


if __name__ == "__main__":
    main()
