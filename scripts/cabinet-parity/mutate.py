#!/usr/bin/env python3
"""Writes damaged variants of cabinets for scripts/cabinet-parity.sh:

    mutate.py OUTDIR COUNT CABINET...

Each variant is one of the given cabinets with one to eight bytes replaced at random places,
and one in five also cut short at a random length. The seed is fixed, so every run (and both
builds) sees the same variants: variant-000.cab ... variant-NNN.cab.
"""
import os
import random
import sys


def main(outdir, count, sources):
    rng = random.Random(20260314)
    os.makedirs(outdir, exist_ok=True)
    originals = [open(path, "rb").read() for path in sorted(sources)]
    for number in range(count):
        data = bytearray(rng.choice(originals))
        for _ in range(rng.randint(1, 8)):
            if data:
                data[rng.randrange(len(data))] = rng.randrange(256)
        if rng.random() < 0.2:
            data = data[:rng.randrange(len(data) + 1)]
        with open(os.path.join(outdir, "variant-%03d.cab" % number), "wb") as out:
            out.write(data)
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], int(sys.argv[2]), sys.argv[3:]))
