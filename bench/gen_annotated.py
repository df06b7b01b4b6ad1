#!/usr/bin/env python3
"""Writes a reproducible time-series query answer in annotated CSV to OUT: N records in
tables of PER rows, each table under its #datatype, #group and #default rows and its
header, CR LF line ends, a blank line after each table, and about one host in ten
quoted with a comma and doubled quotes.

Usage: gen_annotated.py N [PER] [OUT]"""
import random
import sys

DATATYPES = ("#datatype,string,long,dateTime:RFC3339,dateTime:RFC3339,dateTime:RFC3339Nano,"
             "double,string,string,string,boolean\r\n")
GROUPS = "#group,false,false,true,true,false,false,true,true,true,false\r\n"
DEFAULTS = "#default,_result,,,,,,,,,\r\n"
HEADER = ",result,table,_start,_stop,_time,_value,_field,_measurement,host,ok\r\n"


def timestamp(i, nanos):
    day = 14 + (i // 86400) % 10
    return "2023-11-%02dT%02d:%02d:%02d.%09dZ" % (day, (i // 3600) % 24, (i // 60) % 60, i % 60, nanos)


def main():
    n = int(sys.argv[1])
    per = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    out_path = sys.argv[3] if len(sys.argv) > 3 else "annotated.csv"
    rnd = random.Random(7)
    with open(out_path, "w", newline="") as out:
        record = table = 0
        while record < n:
            out.write(DATATYPES + GROUPS + DEFAULTS + HEADER)
            for _ in range(min(per, n - record)):
                # The draws keep this order so that an answer of a given size never changes.
                time = timestamp(record, rnd.randrange(0, 10**9))
                host = "host-%d" % rnd.randrange(100)
                if rnd.random() < 0.1:
                    host = '"host, %d ""quoted"""' % rnd.randrange(100)
                value = rnd.random() * 100
                ok = "true" if rnd.random() < .5 else "false"
                out.write(",,%d,2023-11-14T00:00:00Z,2023-11-24T00:00:00Z,%s,%.6f,usage_user,cpu,%s,%s\r\n"
                          % (table, time, value, host, ok))
                record += 1
            out.write("\r\n")
            table += 1


if __name__ == "__main__":
    main()
