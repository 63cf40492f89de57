#!/usr/bin/python3
"""|F|² of the real CIFs of ../shared/real, computed with gemmi, for the table of
tests/unit/real_cif_test.cpp.

    tools/real_cif_reference.py [REAL_DIR] < choices.tsv

Each input row names a file (relative to REAL_DIR), the symmetry to use and one reflection:
    file <TAB> symmetry <TAB> h k l [<TAB> fixes]
symmetry is "ops" (the listed operators), "hall", "hm:NAME" (a gemmi name such as
"F d -3 m:2") or "number:N". fixes, separated by ";", give what the program reads otherwise
than gemmi: "el:LABEL=El" (an element gemmi does not find in a label), "b-in-u" (the U column
holds B), "gamma:120" (a cell angle the file leaves out), "drop:LABEL" (a dummy site). The elements, positions, occupancies and displacements are read
by gemmi; the images of a site closer than 0.03 Å count once. Prints per row the file, the
atoms in the cell and |F(hkl)|², from gemmi's structure-factor calculator where the group is
in its table, else from the sum over the images written out here.
"""
import cmath
import math
import re
import sys

import gemmi

MERGE = 0.03  # Å, the program's distance for images of one site


def fractions(triplet):
    def repl(m):
        v = float(m.group(0))
        k = round(v * 24)
        if abs(v * 24 - k) > 0.12:
            raise ValueError(triplet)
        return str(k // 24) if k % 24 == 0 else "%d/24" % k
    return re.sub(r"\d*\.\d+|\d+\.\d*", repl, triplet)


def listed_ops(block):
    for tag in ("_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz",
                "_space_group_symop.operation_xyz"):
        col = block.find_values(tag)
        if col:
            return [gemmi.Op(fractions(gemmi.cif.as_string(v))) for v in col]
    ops = block.find_values("_space_group_symop_magn_operation.xyz")
    cen = block.find_values("_space_group_symop_magn_centering.xyz")
    if ops:
        strip = lambda t: ",".join(gemmi.cif.as_string(t).split(",")[:3])
        o = [gemmi.Op(strip(v)) for v in ops]
        c = [gemmi.Op(strip(v)) for v in cen] if cen else [gemmi.Op("x,y,z")]
        out = []
        for a in c:
            for b in o:
                p = (a * b).wrap()
                if all(p != q for q in out):
                    out.append(p)
        return out
    raise ValueError("no operators")


def operators(block, how):
    if how == "ops":
        return listed_ops(block)
    if how == "hall":
        hall = block.find_value("_space_group_name_Hall") or block.find_value("_symmetry_space_group_name_Hall")
        return list(gemmi.symops_from_hall(gemmi.cif.as_string(hall)))
    if how.startswith("hm:"):
        return list(gemmi.find_spacegroup_by_name(how[3:]).operations())
    if how.startswith("number:"):
        return list(gemmi.find_spacegroup_by_number(int(how[7:])).operations())
    raise ValueError(how)


def first_block_with_cell(doc):
    for b in doc:
        if b.find_value("_cell_length_a"):
            return b
    raise ValueError("no cell")


def distance(cell, a, b):
    d = [v - round(v) for v in (b.x - a.x, b.y - a.y, b.z - a.z)]
    return cell.orthogonalize(gemmi.Fractional(*d)).length()


def images(cell, ops, site):
    out = []
    for op in ops:
        f = gemmi.Fractional(*op.apply_to_xyz(site.fract.tolist())).wrap_to_unit()
        if all(distance(cell, g, f) > MERGE for g, _ in out):
            out.append((f, op))
    return out


def sf_by_hand(cell, ops, sites, hkl, stol2):
    F = 0
    for s in sites:
        f = s.element.it92.calculate_sf(stol2) * s.occ
        for x, op in images(cell, ops, s):
            if s.aniso.nonzero():
                hr = [sum(hkl[i] * op.rot[i][j] for i in range(3)) / gemmi.Op.DEN for j in range(3)]
                rs = cell.reciprocal()
                n = (rs.a, rs.b, rs.c)
                u = s.aniso
                U = [[u.u11, u.u12, u.u13], [u.u12, u.u22, u.u23], [u.u13, u.u23, u.u33]]
                q = sum(hr[i] * n[i] * U[i][j] * n[j] * hr[j] for i in range(3) for j in range(3))
                dw = math.exp(-2 * math.pi ** 2 * q)
            else:
                dw = math.exp(-8 * math.pi ** 2 * s.u_iso * stol2)
            F += f * dw * cmath.exp(2j * math.pi * (hkl[0] * x.x + hkl[1] * x.y + hkl[2] * x.z))
    return F


def apply_fixes(st, block, fixes):
    for fix in filter(None, fixes.split(";")):
        key, _, value = fix.partition(":")
        if key == "el":
            label, el = value.split("=")
            for s in st.sites:
                if s.label == label:
                    s.element = gemmi.Element(el)
        elif key == "b-in-u":
            for s in st.sites:
                s.u_iso /= 8 * math.pi ** 2
        elif key == "gamma":  # gemmi reads no cell without its angles
            length = lambda t: gemmi.cif.as_number(block.find_value("_cell_length_" + t))
            st.cell = gemmi.UnitCell(length("a"), length("b"), length("c"), 90, 90, float(value))
        elif key == "drop":
            keep = [s for s in st.sites if s.label != value]
            st.sites.clear()
            for s in keep:
                st.add_site(s)
        else:
            raise ValueError(fix)


def read_document(path):
    """gemmi refuses a tag given twice; the program reads the first value, and so does this."""
    try:
        return gemmi.cif.read(path)
    except RuntimeError as e:
        if "duplicate tag" not in str(e):
            raise
    seen, kept = set(), []
    for line in open(path, encoding="utf-8", errors="replace"):
        words = line.split(None, 1)
        if len(words) == 2 and words[0].startswith("_"):
            if words[0].lower() in seen:
                continue
            seen.add(words[0].lower())
        kept.append(line)
    return gemmi.cif.read_string("".join(kept))


def row(real, name, how, hkl, fixes):
    doc = read_document(real + "/" + name)
    block = first_block_with_cell(doc)
    st = gemmi.make_small_structure_from_block(block)
    apply_fixes(st, block, fixes)
    ops = operators(block, how)
    cell = st.cell
    atoms = sum(len(images(cell, ops, s)) for s in st.sites)
    stol2 = cell.calculate_1_d2(hkl) / 4
    sg = gemmi.find_spacegroup_by_ops(gemmi.GroupOps(ops))
    if sg:
        st.spacegroup_hm = sg.xhm()
        st.setup_cell_images()
        st.change_occupancies_to_crystallographic(MERGE)
        calc = gemmi.StructureFactorCalculatorX(cell)
        F = calc.calculate_sf_from_small_structure(st, hkl)
        group = sg.xhm()
    else:
        F = sf_by_hand(cell, ops, st.sites, hkl, stol2)
        group = "(not tabulated)"
    print("%s\t%s\t%d\t%d %d %d\t%.6g" % (name, group, atoms, hkl[0], hkl[1], hkl[2], abs(F) ** 2))


def main():
    real = sys.argv[1] if len(sys.argv) > 1 else "/work/shared/real"
    for line in sys.stdin:
        if not line.strip() or line.startswith("#"):
            continue
        name, how, hkl, *fixes = line.rstrip("\n").split("\t")
        try:
            row(real, name, how, [int(v) for v in hkl.split()], fixes[0] if fixes else "")
        except Exception as e:  # a file gemmi reads otherwise: checked by hand
            print("%s\tERROR %s" % (name, e))


main()
