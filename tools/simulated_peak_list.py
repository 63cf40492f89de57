#!/usr/bin/python3
"""A peak list as a peak search would give it for a cell and a space group: the first lines by
2theta at a wavelength, lines closer than 0.02 deg merged, Gaussian noise on the positions, a
zero shift, a few lines left out and impurity peaks added, all seeded. Uses gemmi for the
systematic absences.

  tools/simulated_peak_list.py "C 1 2/c 1" 9.81 5.62 7.24 90 110.4 90 > peaks.txt
"""
import argparse
import math
import random

import gemmi


def lines(cell, group, wavelength, count):
    ops = group.operations()
    dmin = wavelength / 2 / math.sin(math.radians(60))
    out = set()
    hmax = [int(x / dmin) + 1 for x in (cell.a, cell.b, cell.c)]
    for h in range(-hmax[0], hmax[0] + 1):
        for k in range(-hmax[1], hmax[1] + 1):
            for l in range(-hmax[2], hmax[2] + 1):
                if (h, k, l) == (0, 0, 0) or ops.is_systematically_absent([h, k, l]):
                    continue
                d = cell.calculate_d([h, k, l])
                if d >= dmin:
                    out.add(round(2 * math.degrees(math.asin(wavelength / 2 / d)), 6))
    merged = []
    for x in sorted(out):
        if not merged or x - merged[-1] > 0.02:
            merged.append(x)
    return merged[:count]


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("group")
    p.add_argument("cell", type=float, nargs=6)
    p.add_argument("--lambda", dest="wavelength", type=float, default=1.540598)
    p.add_argument("--count", type=int, default=20)
    p.add_argument("--noise", type=float, default=0.01)
    p.add_argument("--zero", type=float, default=0.05)
    p.add_argument("--dropped", type=int, default=2)
    p.add_argument("--impurities", type=int, default=1)
    p.add_argument("--seed", type=int, default=1)
    a = p.parse_args()
    rng = random.Random(a.seed)
    peaks = lines(gemmi.UnitCell(*a.cell), gemmi.SpaceGroup(a.group), a.wavelength, a.count - a.impurities + a.dropped)
    true_lines = list(peaks)
    for _ in range(a.dropped):
        peaks.pop(rng.randrange(3, len(peaks)))
    for _ in range(a.impurities):
        while True:
            x = rng.uniform(peaks[0], peaks[-1])
            if all(abs(x - t) > 0.3 for t in true_lines):
                peaks.append(x)
                break
    print(f"# {a.group} {' '.join(f'{v:g}' for v in a.cell)}, lambda {a.wavelength}: {a.count} peaks, noise {a.noise} deg,"
          f" zero {a.zero} deg, {a.dropped} lines left out, {a.impurities} impurity (seed {a.seed})")
    print("# 2theta")
    for x in sorted(peaks):
        print(f"{x + a.zero + rng.gauss(0, a.noise):.4f}")


if __name__ == "__main__":
    main()
