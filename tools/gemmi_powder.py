#!/usr/bin/python3
"""The reflections of a powder (or single-crystal) list computed by gemmi, with multiplicities.

An independent reference for the program's calculations, and a yardstick for their speed:
    tools/gemmi_powder.py --cell 20 25 30 80 100 110 --group "P -1" --theta 0 31
    tools/gemmi_powder.py --cell 20 25 30 90 110 90 --group "P 1 21/c 1" --theta 0 40 --repeat 20 --quiet
    tools/gemmi_powder.py --cell 20 25 30 80 100 110 --group "P -1" --single-crystal -11 11 -15 15 0 13
Powder: one line per class of equivalent reflections (Laue class, Friedel pairs included) with
θ1 ≤ θ ≤ θ2: h k l d theta multiplicity, by decreasing d. Single crystal: every reflection that
is not systematically absent inside the index limits with d ≥ 1.01 λ / 2, multiplicity 1.
The processor time of the calculation alone (interpreter start excluded) goes to standard error.
"""
import argparse
import math
import sys
import time

import gemmi
import numpy as np


def multiplicities(hkl, sg):
    """Distinct images of each row of hkl under the point group and inversion."""
    rots = [np.array(op.rot, dtype=np.int64) // gemmi.Op.DEN for op in sg.operations().sym_ops]
    images = []
    for r in rots:
        img = hkl @ r  # h' = h R, as gemmi applies an operation to Miller indices
        images.append(img)
        images.append(-img)
    stack = np.stack(images, axis=1)  # rows x images x 3
    keys = ((stack[:, :, 0] + 4096) << 26) | ((stack[:, :, 1] + 4096) << 13) | (stack[:, :, 2] + 4096)
    keys.sort(axis=1)
    return 1 + np.count_nonzero(np.diff(keys, axis=1), axis=1)


def powder(cell, sg, wavelength, theta1, theta2):
    theta1 = theta1 if theta1 > 0 else 0.01
    dmin = wavelength / (2 * math.sin(math.radians(theta2)))
    dmax = wavelength / (2 * math.sin(math.radians(theta1)))
    hkl = np.asarray(gemmi.make_miller_array(cell, sg, dmin, dmax), dtype=np.int64)
    d = np.array(cell.calculate_d_array(hkl))
    keep = (d >= dmin) & (d <= dmax)
    hkl, d = hkl[keep], d[keep]
    mult = multiplicities(hkl, sg)
    order = np.argsort(-d, kind='stable')
    return hkl[order], d[order], mult[order]


def single_crystal(cell, sg, wavelength, limits):
    ops = sg.operations()
    dmin = 1.01 * wavelength / 2
    h, k, l = np.meshgrid(np.arange(limits[0], limits[1] + 1), np.arange(limits[2], limits[3] + 1),
                          np.arange(limits[4], limits[5] + 1), indexing='ij')
    hkl = np.stack([h.ravel(), k.ravel(), l.ravel()], axis=1).astype(np.int64)
    hkl = hkl[np.any(hkl != 0, axis=1)]
    d = np.array(cell.calculate_d_array(hkl))
    hkl, d = hkl[d >= dmin], d[d >= dmin]
    allowed = np.array([not ops.is_systematically_absent(list(map(int, x))) for x in hkl], dtype=bool)
    hkl, d = hkl[allowed], d[allowed]
    order = np.argsort(-d, kind='stable')
    return hkl[order], d[order], np.ones(len(d), dtype=np.int64)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument('--cell', nargs=6, type=float, required=True, metavar=('A', 'B', 'C', 'ALPHA', 'BETA', 'GAMMA'))
    p.add_argument('--group', required=True, help='Hermann-Mauguin symbol as gemmi knows it')
    p.add_argument('--wavelength', type=float, default=1.54056)
    p.add_argument('--theta', nargs=2, type=float, default=(5.0, 40.0), metavar=('THETA1', 'THETA2'))
    p.add_argument('--single-crystal', nargs=6, type=int, metavar=('HMIN', 'HMAX', 'KMIN', 'KMAX', 'LMIN', 'LMAX'))
    p.add_argument('--repeat', type=int, default=1, help='run the calculation this many times for timing')
    p.add_argument('--quiet', action='store_true', help='print no reflections')
    args = p.parse_args()

    cell = gemmi.UnitCell(*args.cell)
    sg = gemmi.SpaceGroup(args.group)
    times = []
    for _ in range(max(1, args.repeat)):
        start = time.process_time()
        if args.single_crystal:
            hkl, d, mult = single_crystal(cell, sg, args.wavelength, args.single_crystal)
        else:
            hkl, d, mult = powder(cell, sg, args.wavelength, *args.theta)
        times.append(time.process_time() - start)

    if not args.quiet:
        theta = np.degrees(np.arcsin(args.wavelength / (2 * d)))
        out = sys.stdout
        for (h, k, l), dd, t, m in zip(hkl, d, theta, mult):
            out.write(f'{h:3d}{k:3d}{l:3d}{dd:7.3f}{t:8.3f}{m:3d}\n')
    sys.stderr.write(f'lines {len(d)}, equivalents {int(mult.sum())}, '
                     f'best {min(times) * 1000:.2f} ms, median {sorted(times)[len(times) // 2] * 1000:.2f} ms '
                     f'over {len(times)} runs\n')


if __name__ == '__main__':
    main()
