#!/usr/bin/env python3
"""Writes the seven space-group position files (C, Q, O, H, R, M, T .pos) from gemmi's table.

    python3 tools/make_position_files.py data          # (re)write data/*.pos
    python3 tools/make_position_files.py --check data  # regenerate elsewhere and compare

Every entry holds the group's name, its number, the coset representatives of its general
position (without centring translations: the lattice letter supplies them) and its reflection
conditions beyond the centring, written in the program's condition code.  The conditions are
not copied from a table: they are searched for so that the program's own reflection test,
re-implemented below, forbids exactly the reflections gemmi calls systematically absent.  The
output depends on nothing but gemmi's space-group table, so a second run writes the same bytes.
"""

import argparse
import filecmp
import itertools
import os
import sys
import tempfile
from fractions import Fraction

try:
    import gemmi
except ImportError:  # the Debian package installs for the system interpreter only
    sys.exit("make_position_files: cannot import gemmi (Debian: apt-get install python3-gemmi; "
             "run it with /usr/bin/python3)")

# Indices |h|, |k|, |l| up to this bound are checked; every condition code repeats within 12.
HKL_BOUND = 12
MAX_LINES = 12          # condition lines the program keeps for one group
MAX_ZONES = 5           # zone tokens on one line
MAX_LINE_LENGTH = 40    # characters the program keeps of a condition line

# ---- The program's condition language and reflection test ----------------------------------

# Zone tokens, kinds 1..18, with membership; the inequalities on h and k include equality.
ZONES = [
    ("H=0", lambda h, k, l: h == 0),
    ("H<0", lambda h, k, l: h <= 0),
    ("H>K", lambda h, k, l: h >= k),
    ("H>L", lambda h, k, l: h >= l),
    ("K=0", lambda h, k, l: k == 0),
    ("K<0", lambda h, k, l: k <= 0),
    ("K>L", lambda h, k, l: k >= l),
    ("K>H", lambda h, k, l: k >= h),
    ("L=0", lambda h, k, l: l == 0),
    ("L<0", lambda h, k, l: l < 0),
    ("L>H", lambda h, k, l: l > h),
    ("L>K", lambda h, k, l: l > k),
    ("H=K", lambda h, k, l: h == k),
    ("K=L", lambda h, k, l: k == l),
    ("L=H", lambda h, k, l: l == h),
    ("H=-K", lambda h, k, l: h == -k),
    ("K=-L", lambda h, k, l: k == -l),
    ("L=-H", lambda h, k, l: l == -h),
]


def divides(n, x):
    return x % n == 0  # the sign of x does not matter for a zero remainder


# Condition codes, kinds 1..29: code, test that lets the reflection through.  H-KLN3 tests
# h-k+l, all three indices.
CODES = [
    ("HN2", lambda h, k, l: divides(2, h)),
    ("HN4", lambda h, k, l: divides(4, h)),
    ("HN3", lambda h, k, l: divides(3, h)),
    ("AH>AK", lambda h, k, l: abs(h) <= abs(k)),
    ("AH>AL", lambda h, k, l: abs(h) <= abs(l)),
    ("H+KN2", lambda h, k, l: divides(2, h + k)),
    ("-HKLN3", lambda h, k, l: divides(3, -h + k + l)),
    ("KN2", lambda h, k, l: divides(2, k)),
    ("KN4", lambda h, k, l: divides(4, k)),
    ("KN3", lambda h, k, l: divides(3, k)),
    ("AK>AL", lambda h, k, l: abs(k) <= abs(l)),
    ("AK>AH", lambda h, k, l: abs(k) <= abs(h)),
    ("K+LN2", lambda h, k, l: divides(2, k + l)),
    ("H-KLN3", lambda h, k, l: divides(3, h - k + l)),
    ("LN2", lambda h, k, l: divides(2, l)),
    ("LN4", lambda h, k, l: divides(4, l)),
    ("LN3", lambda h, k, l: divides(3, l)),
    ("AL>AH", lambda h, k, l: abs(l) <= abs(h)),
    ("AL>AK", lambda h, k, l: abs(l) <= abs(k)),
    ("L+HN2", lambda h, k, l: divides(2, l + h)),
    ("HK-LN3", lambda h, k, l: divides(3, h + k - l)),
    ("HKLN2", lambda h, k, l: divides(2, h + k + l)),
    ("H+KN4", lambda h, k, l: divides(4, h + k)),
    ("K+LN4", lambda h, k, l: divides(4, k + l)),
    ("L+HN4", lambda h, k, l: divides(4, l + h)),
    ("2H+LN4", lambda h, k, l: divides(4, 2 * h + l)),
    ("2K+HN4", lambda h, k, l: divides(4, 2 * k + h)),
    ("2L+KN4", lambda h, k, l: divides(4, 2 * l + k)),
    ("LN6", lambda h, k, l: divides(6, l)),
]

LATTICE_ALLOWS = {
    "P": lambda h, k, l: True,
    "A": lambda h, k, l: divides(2, k + l),
    "B": lambda h, k, l: divides(2, h + l),
    "C": lambda h, k, l: divides(2, h + k),
    "F": lambda h, k, l: divides(2, h + k) and divides(2, k + l) and divides(2, h + l),
    "I": lambda h, k, l: divides(2, h + k + l),
    "R": lambda h, k, l: divides(3, -h + k + l),  # obverse, hexagonal axes
}

# In the hexagonal system the conditions are tried on these rearrangements of h, k and
# i = -(h+k) as well, so a condition written for one axis holds for the equivalent ones.
HEXAGONAL_REARRANGEMENTS = [
    lambda h, k, l: (h, k, l),
    lambda h, k, l: (-(h + k), h, l),
    lambda h, k, l: (k, -(h + k), l),
    lambda h, k, l: (k, h, l),
    lambda h, k, l: (-(h + k), k, l),
    lambda h, k, l: (h, -(h + k), l),
]

GRID = [(h, k, l)
        for h in range(-HKL_BOUND, HKL_BOUND + 1)
        for k in range(-HKL_BOUND, HKL_BOUND + 1)
        for l in range(-HKL_BOUND, HKL_BOUND + 1)]
ORIGIN_BIT = 1 << GRID.index((0, 0, 0))


def mask_of(predicate):
    """The grid points where predicate holds, as the bits of one integer."""
    bits = 0
    for n, hkl in enumerate(GRID):
        if predicate(*hkl):
            bits |= 1 << n
    return bits


def popcount(bits):
    return bin(bits).count("1")


class ConditionAlgebra:
    """Grid masks of every zone and every failed code, under each rearrangement in use."""

    def __init__(self, hexagonal):
        moves = HEXAGONAL_REARRANGEMENTS if hexagonal else HEXAGONAL_REARRANGEMENTS[:1]
        self.zone = [[mask_of(lambda h, k, l, z=z, m=m: z(*m(h, k, l))) for _, z in ZONES]
                     for m in moves]
        self.fails = [[mask_of(lambda h, k, l, c=c, m=m: not c(*m(h, k, l))) for _, c in CODES]
                      for m in moves]

    def forbidden_by(self, zones, code):
        """Reflections one line forbids: zones and code are kinds counted from 0."""
        bits = 0
        for zone, fails in zip(self.zone, self.fails):
            line = fails[code]
            for z in zones:
                line &= zone[z]
            bits |= line
        return bits


ALGEBRA = {}


def algebra(hexagonal):
    if hexagonal not in ALGEBRA:
        ALGEBRA[hexagonal] = ConditionAlgebra(hexagonal)
    return ALGEBRA[hexagonal]


def program_forbids(letter, system, lines):
    """The program's test over the grid, from the lattice letter and the written lines."""
    if system == "RHOM":
        letter = "P"
    lattice = LATTICE_ALLOWS[letter]
    alg = algebra(system == "HEXA")
    bits = ORIGIN_BIT | mask_of(lambda h, k, l: not lattice(h, k, l))
    zone_kind = {token: n for n, (token, _) in enumerate(ZONES)}
    code_kind = {code: n for n, (code, _) in enumerate(CODES)}
    for line in lines:
        *tokens, code = line.split()
        bits |= alg.forbidden_by([zone_kind[t] for t in tokens], code_kind[code])
    return bits


# ---- Searching the condition lines ---------------------------------------------------------

# The zones people write conditions for (0kl, hhl, ... and their intersections), and the codes
# that state a divisibility; the ordering codes and the half-space zones read badly.
PLAIN_ZONES = [n for n, (token, _) in enumerate(ZONES) if "<" not in token and ">" not in token]
PLAIN_CODES = [n for n, (code, _) in enumerate(CODES) if ">" not in code]


def letters_in(code):
    return sum(code.count(c) for c in "HKL")


def candidate_lines(max_zones):
    for count in range(max_zones + 1):
        for zones in itertools.combinations(PLAIN_ZONES, count):
            for code in PLAIN_CODES:
                yield zones, code


# A hexagonal zone is written as International Tables write it: h-h0l rather than 0kil.
HEXAGONAL_ZONE_PREFERENCE = ["H=-K", "H=K", "H=0", "K=0", "L=0"]


def zone_rank(z, hexagonal):
    token = ZONES[z][0]
    if hexagonal and token in HEXAGONAL_ZONE_PREFERENCE:
        return HEXAGONAL_ZONE_PREFERENCE.index(token) - len(HEXAGONAL_ZONE_PREFERENCE)
    return z


# Where two lines forbid the same reflections, the one that names the glide of the symbol reads
# best ("P 1 21/n 1": h0l, h+l=2n even where the lattice already makes l even), then the index
# a diagonal zone leaves free (hhl: l=2n), then in cubic groups the cyclic choice (0kl: k=2n,
# h0l: l=2n, hk0: h=2n).
GLIDE_ZONE = {0: "H=0", 1: "K=0", 2: "L=0"}
GLIDE_CODE = {  # by direction of the plane's normal, then glide letter
    0: {"b": "KN2", "c": "LN2", "n": "K+LN2", "d": "K+LN4"},
    1: {"a": "HN2", "c": "LN2", "n": "L+HN2", "d": "L+HN4"},
    2: {"a": "HN2", "b": "KN2", "n": "H+KN2", "d": "H+KN4"},
}
FREE_INDEX_CODE = {"H=K": "LN2", "H=-K": "LN2", "K=L": "HN2", "K=-L": "HN2",
                   "L=H": "KN2", "L=-H": "KN2"}
CUBIC_CYCLIC_CODE = {"H=0": "KN2", "K=0": "LN2", "L=0": "HN2"}


def preferred_lines(sg, system):
    """(zone token, code) pairs to prefer among lines that forbid the same reflections."""
    lines = set(FREE_INDEX_CODE.items())
    if system == "CUBI":
        lines |= set(CUBIC_CYCLIC_CODE.items())
    parts = sg.hm.split()[1:]
    if system in ("ORTH", "MONO") and len(parts) == 3:
        for direction, part in enumerate(parts):
            glide = part.split("/")[-1]
            if glide in GLIDE_CODE[direction]:
                lines.add((GLIDE_ZONE[direction], GLIDE_CODE[direction][glide]))
    return lines


def readability(zones, code, hexagonal, preferred):
    """Smaller reads better: fewer zones, a code on fewer indices, an index the zone leaves free."""
    tokens = tuple(ZONES[z][0] for z in zones)
    named = len(tokens) == 1 and (tokens[0], CODES[code][0]) in preferred
    zero_index = set()
    for z in zones:
        token = ZONES[z][0]
        if token.endswith("=0"):
            zero_index.add(token[0])
    text = CODES[code][0]
    names_zero = sum(1 for c in "HKL" if c in text and c in zero_index)
    return (not named, len(zones), names_zero, letters_in(text), code,
            tuple(sorted(zone_rank(z, hexagonal and len(zones) == 1) for z in zones)))


def search_conditions(absent, letter, system, name, preferred=frozenset()):
    """Lines whose forbidden set, with the lattice, is exactly gemmi's absences.

    A greedy cover (widest line first, the most readable of equals), then every line the others
    make superfluous is dropped.
    """
    base = program_forbids(letter, system, [])
    if base & ~(absent | ORIGIN_BIT):
        raise SystemExit(f"{name}: the lattice letter {letter} forbids reflections gemmi allows")
    target = absent & ~base
    if not target:
        return []
    alg = algebra(system == "HEXA")
    harmless = absent | base
    for max_zones in (2, 3):
        pool = []
        for zones, code in candidate_lines(max_zones):
            bits = alg.forbidden_by(zones, code) & ~base
            if bits and not bits & ~harmless:
                pool.append((readability(zones, code, system == "HEXA", preferred), zones, code, bits))
        pool.sort(key=lambda c: c[0])
        union = 0
        for c in pool:
            union |= c[3]
        if union & target == target:
            break
    else:
        raise SystemExit(f"{name}: its absences cannot be written in the condition code")

    chosen = []
    left = target
    while left:
        # max() keeps the first of equal gains, and the pool is sorted by readability
        best = max(pool, key=lambda c: popcount(c[3] & left))
        chosen.append(best)
        left &= ~best[3]
    # A later, wider line may have made an earlier one superfluous.
    for c in list(chosen):
        rest = 0
        for other in chosen:
            if other is not c:
                rest |= other[3]
        if rest & target == target:
            chosen.remove(c)
    lines = [format_line(c[1], c[2]) for c in sorted(chosen, key=line_order)]
    if len(lines) > MAX_LINES:
        raise SystemExit(f"{name}: {len(lines)} condition lines, more than {MAX_LINES}")
    return lines


def line_order(candidate):
    """0kl, h0l, hk0, hhl... first, then the axes h00, 0k0, 00l, as International Tables."""
    _, zones, code, _ = candidate
    tokens = [ZONES[z][0] for z in zones]
    axis_rank = 0
    if len(zones) == 2 and all(t.endswith("=0") for t in tokens):
        free = ({"H", "K", "L"} - {t[0] for t in tokens}).pop()
        axis_rank = "HKL".index(free)
    return (len(zones), axis_rank, zones, code)


def format_line(zones, code):
    line = " ".join([ZONES[z][0] for z in zones] + [CODES[code][0]])
    assert len(zones) <= MAX_ZONES and len(line) <= MAX_LINE_LENGTH, line
    return line


# ---- Symmetry operators --------------------------------------------------------------------

# The eight expression forms the triplet parser knows, by their row of multipliers.
ROW_TEXT = {
    (1, 0, 0): "x", (0, 1, 0): "y", (0, 0, 1): "z",
    (-1, 0, 0): "-x", (0, -1, 0): "-y", (0, 0, -1): "-z",
    (1, -1, 0): "x-y", (-1, 1, 0): "y-x",
}
# The translations it knows (tokens written after the expression).
TRANSLATION_TEXT = {
    Fraction(0): "", Fraction(1, 2): "+1/2", Fraction(1, 3): "+1/3", Fraction(2, 3): "+2/3",
    Fraction(1, 4): "+1/4", Fraction(3, 4): "+3/4", Fraction(1, 6): "+1/6", Fraction(5, 6): "+5/6",
}


# International Tables list a general position by generation: starting from the identity, each
# generator g in turn appends the blocks g.L, g^2.L, ... (L the list so far, each member applied
# first) until its powers are in L. The generators are taken in this order, each one the group
# holds and L does not yet contain; a centrosymmetric group takes its rotations first and the
# inversion last, so its second half repeats the first with x, y, z negated.
GENERATORS = {
    "CUBI": ["-x,-y,z", "-x,y,-z", "z,x,y", "y,x,-z", "y,x,z", "-x,-y,-z"],
    "TETR": ["-x,-y,z", "-y,x,z", "y,-x,-z", "-x,y,-z", "x,-y,z", "-x,-y,-z"],
    "HEXA": ["-y,x-y,z", "-x,-y,z", "x,y,-z", "y,x,-z", "-y,-x,z", "-y,-x,-z", "y,x,z",
             "-x,-y,-z"],
    "RHOM": ["z,x,y", "-y,-x,-z", "y,x,z", "-x,-y,-z"],
    "ORTH": ["-x,-y,z", "-x,y,-z", "x,-y,-z", "x,-y,z", "-x,y,z", "x,y,-z", "-x,-y,-z"],
}
GENERATORS["MONO"] = GENERATORS["ORTH"]
GENERATORS["TRIC"] = GENERATORS["ORTH"]


def matrix_of(triplet):
    by_text = {text: row for row, text in ROW_TEXT.items()}
    return tuple(by_text[e] for e in triplet.split(","))


def determinant(m):
    return (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
            - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
            + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]))


def compose(g, x):
    """The rotation that applies x, then g."""
    return tuple(tuple(sum(g[i][m] * x[m][j] for m in range(3)) for j in range(3))
                 for i in range(3))


def generated_order(rotations, system):
    """The group's rotations in the order International Tables generate them."""
    identity = ((1, 0, 0), (0, 1, 0), (0, 0, 1))
    inversion = matrix_of("-x,-y,-z")
    centrosymmetric = inversion in rotations
    listed = [identity]
    fallback = sorted(rotations)  # only for a group the sequence misses
    for g in [matrix_of(t) for t in GENERATORS[system]] + fallback:
        if g not in rotations or g in listed:
            continue
        if centrosymmetric and g != inversion and determinant(g) < 0:
            continue
        block_base = list(listed)
        power = g
        while power not in block_base:
            listed += [compose(power, x) for x in block_base]
            power = compose(g, power)
    return listed


def rotation_text(op):
    return ",".join(row_text(op, r) for r in range(3))


def row_text(op, r):
    row = tuple(v // gemmi.Op.DEN for v in op.rot[r])
    if row not in ROW_TEXT:
        raise SystemExit(f"operator {op.triplet()}: row {row} has no written form")
    return ROW_TEXT[row]


def triplet_text(op, name):
    parts = []
    for r in range(3):
        shift = Fraction(op.tran[r], gemmi.Op.DEN) % 1
        if shift not in TRANSLATION_TEXT:
            raise SystemExit(f"{name}: translation {shift} of {op.triplet()} has no token")
        parts.append(row_text(op, r) + TRANSLATION_TEXT[shift])
    return ",".join(parts)


def ordered_operators(ops, system, name):
    by_rotation = {}
    for op in ops.sym_ops:
        rotation = matrix_of(rotation_text(op))
        if rotation in by_rotation:
            raise SystemExit(f"{name}: rotation {rotation_text(op)} occurs twice")
        by_rotation[rotation] = op
    order = generated_order(set(by_rotation), system)
    if sorted(order) != sorted(by_rotation):
        raise SystemExit(f"{name}: the generated listing is not the group")
    return [by_rotation[r] for r in order]


# ---- Choosing the groups -------------------------------------------------------------------

# The first part of gemmi's table holds the settings of International Tables; the appended
# extras (other centrings, shifted origins) are not wanted.
def table_settings():
    settings = []
    last = 0
    for sg in gemmi.spacegroup_table():
        if sg.number < last:
            break
        last = sg.number
        settings.append(sg)
    return settings


def ext_of(sg):
    return sg.ext if sg.ext != "\x00" else ""


def wanted(sg, system):
    """The settings each file lists; where an origin choice exists, the standard one (2)."""
    n = sg.number
    ext = ext_of(sg)
    if system == "TRIC":
        return n <= 2
    if system == "MONO":
        return 3 <= n <= 15 and sg.qualifier in ("b", "b1", "b2", "b3")
    if system == "ORTH":
        return 16 <= n <= 74 and ext in ("", "2")
    if system == "TETR":
        return 75 <= n <= 142 and sg.is_reference_setting()
    if system == "HEXA":
        return 143 <= n <= 194 and sg.is_reference_setting()
    if system == "RHOM":
        return ext == "R"
    if system == "CUBI":
        return 195 <= n <= 230 and sg.is_reference_setting()
    raise ValueError(system)


def group_name(sg, system):
    parts = sg.hm.split()
    if system == "MONO":  # P 1 21/c 1 -> P 21/C
        parts = [parts[0], parts[2]]
    return " ".join(parts).upper() + f" ({sg.number})"


FILES = [  # file, system code, title
    ("C.pos", "CUBI", "cubic"),
    ("Q.pos", "TETR", "tetragonal"),
    ("O.pos", "ORTH", "orthorhombic"),
    ("H.pos", "HEXA", "trigonal and hexagonal, rhombohedral lattices in hexagonal axes"),
    ("R.pos", "RHOM", "rhombohedral lattices in rhombohedral axes"),
    ("M.pos", "MONO", "monoclinic, unique axis b"),
    ("T.pos", "TRIC", "triclinic"),
]


def absent_mask(ops):
    return mask_of(lambda h, k, l: (h, k, l) != (0, 0, 0) and ops.is_systematically_absent([h, k, l]))


def entry_lines(sg, system):
    name = group_name(sg, system)
    ops = sg.operations()
    letter = name[0]
    if letter not in LATTICE_ALLOWS:
        raise SystemExit(f"{name}: lattice letter {letter} unknown to the program")
    absent = absent_mask(ops)
    conditions = search_conditions(absent, letter, system, name, preferred_lines(sg, system))
    if program_forbids(letter, system, conditions) != absent | ORIGIN_BIT:
        raise SystemExit(f"{name}: the conditions found do not give gemmi's absences")
    triplets = [triplet_text(op, name) for op in ordered_operators(ops, system, name)]
    if triplets[0] != "x,y,z":
        raise SystemExit(f"{name}: the first operator is {triplets[0]}, not the identity")
    return name, ([""] + [name, str(sg.number), str(len(triplets))] + triplets +
                  [str(len(conditions))] + conditions + ["Hall: " + sg.hall.strip()])


def file_text(system, title, settings):
    # Within a number the standard setting comes first, the others in the table's order.
    groups = sorted((sg for sg in settings if wanted(sg, system)),
                    key=lambda sg: (sg.number, not sg.is_reference_setting()))
    lines = []
    names = set()
    for sg in groups:
        name, entry = entry_lines(sg, system)
        if name in names:
            raise SystemExit(f"{system}: two entries named {name}")
        names.add(name)
        lines += entry
    header = [f"Space groups, {title}: {len(groups)} entries.",
              "Each entry: name, number, general position (count, triplets), reflection "
              "conditions beyond the centring (count, coded lines), Hall symbol.",
              "Written by tools/make_position_files.py from the gemmi space-group table."]
    return "\n".join(header + lines) + "\n", len(groups)


def write_all(directory):
    os.makedirs(directory, exist_ok=True)
    settings = table_settings()
    counts = {}
    for file_name, system, title in FILES:
        text, count = file_text(system, title, settings)
        with open(os.path.join(directory, file_name), "w", encoding="ascii", newline="\n") as f:
            f.write(text)
        counts[file_name] = count
    return counts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("directory", help="where the .pos files are written (or compared)")
    parser.add_argument("--check", action="store_true",
                        help="regenerate into a temporary directory and compare byte for byte")
    args = parser.parse_args()
    if not args.check:
        counts = write_all(args.directory)
        print(" ".join(f"{f}:{n}" for f, n in counts.items()))
        return 0
    with tempfile.TemporaryDirectory() as fresh:
        write_all(fresh)
        names = [f for f, _, _ in FILES]
        _, differ, missing = filecmp.cmpfiles(args.directory, fresh, names, shallow=False)
        for f in differ + missing:
            print(f"{os.path.join(args.directory, f)} differs from what the generator writes")
        return 1 if differ or missing else 0


if __name__ == "__main__":
    sys.exit(main())
