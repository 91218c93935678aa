#!/usr/bin/env python3
"""Writes a synthetic event log for timing `korvdb import`.

usage: bench/make_event_log.py OUT.csv [rows] [keys] [seed]

Rows are customer,time,product in random order: `keys` customers (default 150,000), integer
times, and product names drawn with Zipf-like weights from 20,000 names, each quoted and holding
a comma ("product 17, size M"). Default 2,000,000 rows.
"""
import random
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 2_000_000
    keys = int(sys.argv[3]) if len(sys.argv) > 3 else 150_000
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 7)
    names = ['"product %d, size %s"' % (k, "SML"[k % 3]) for k in range(20_000)]
    weights = [1.0 / (k + 1) for k in range(len(names))]
    items = rng.choices(names, weights, k=rows)
    customers = [rng.randrange(keys) for _ in range(rows)]
    times = [rng.randrange(1_000_000) for _ in range(rows)]
    with open(out, "w", encoding="ascii") as f:
        f.write("customer,time,product\n")
        f.writelines("c%06d,%d,%s\n" % row for row in zip(customers, times, items))


if __name__ == "__main__":
    main()
