#!/usr/bin/env bash
# obrin-cli with a crystal structure: silicon from a CIF gives its lines with intensities in
# every format, the command line overrides what the file gives, and bad files are refused by
# name. Arguments: the source directory, the directory of the built programs.
set -euo pipefail

SRC=${1:?source directory}
BIN=${2:?directory of the built programs}
BIN=$(cd "$BIN" && pwd)
CLI="$BIN/obrin-cli"
if [[ ! -x $CLI ]]; then
  echo "obrin-cli is not built ($CLI): skipped"
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"

cat >"$WORK/si.cif" <<'CIF'
data_notes
_journal_year 2001
data_Si
_cell_length_a 5.43088(4)
_cell_length_b 5.43088(4)
_cell_length_c 5.43088(4)
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_IT_number 227
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Si1 0 0 0 0.4632
data_Ge
_cell_length_a 5.6575
_cell_length_b 5.6575
_cell_length_c 5.6575
_symmetry_space_group_name_H-M 'F d -3 m'
CIF

# The lines of silicon: 222 is allowed by the group, extinguished by the structure.
run powder --cif "$WORK/si.cif" --lambda CuKa1 --theta 10 70 --2theta
expected='  1  1  1  3.136  28.442  8   100.0
  2  2  0  1.920  47.302 12    64.5
  3  1  1  1.637  56.122 24    37.5
  2  2  2  1.568  58.855  8     0.0
  4  0  0  1.358  69.129  6     9.7
Nb of calculated reflections: 5'
[[ $STATUS == 0 && $OUT == "$expected" ]] || fail "silicon list: $STATUS $OUT $ERR"

run powder --cif "$WORK/si.cif" --lambda CuKa1 --theta 10 70 --2theta --format tsv --decimals 1
[[ $(head -1 <<<"$OUT") == $'h\tk\tl\td\t2theta\tmultiplicity\tintensity' ]] || fail "tsv header: $OUT"
[[ $(sed -n 2p <<<"$OUT") == $'1\t1\t1\t3.1\t28.4\t8\t100.0' ]] || fail "tsv 111: $OUT"
run powder --cif "$WORK/si.cif" --lambda CuKa1 --theta 10 70 --2theta --format json
grep -q '"group": "F D -3 M (227)"' <<<"$OUT" || fail "json group: $OUT"
grep -q '"multiplicity": 8, "intensity": 100}' <<<"$OUT" || fail "json intensity: $OUT"
run powder --cif "$WORK/si.cif" --lambda CuKa1 --theta 10 70 --2theta --format report
grep -q 'Mult       I' <<<"$OUT" || fail "report heading: $OUT"

# A block without atoms: the lines without intensities, the layout of a plain list.
run powder --cif "$WORK/si.cif" --block Ge --lambda CuKa1 --theta 10 30
[[ $STATUS == 0 && $(head -1 <<<"$OUT") == '  1  1  1  3.266  13.640  8' ]] || fail "germanium: $STATUS $OUT $ERR"

# The command line replaces the file's cell, with the system's ties.
run powder --cif "$WORK/si.cif" --cell 5.6575 --lambda CuKa1 --theta 10 30
[[ $(head -1 <<<"$OUT") == '  1  1  1  3.266  13.640  8   100.0' ]] || fail "cell override: $OUT $ERR"
run powder --cif "$WORK/si.cif" --cell 5 5 6 90 90 90 --lambda CuKa1
[[ $STATUS == 1 && $ERR == *"ties of the CUBI system"* ]] || fail "tie check: $STATUS $ERR"

# Unique axis c: not in the position files, listed with the file's own operators.
cat >"$WORK/c.cif" <<'CIF'
data_c
_cell_length_a 5.1
_cell_length_b 6.2
_cell_length_c 7.3
_cell_angle_gamma 95.5
_symmetry_space_group_name_H-M 'P 1 1 21/b'
loop_
_symmetry_equiv_pos_as_xyz
x,y,z
-x,-y+1/2,z+1/2
-x,-y,-z
x,y+1/2,-z+1/2
CIF
run powder --cif "$WORK/c.cif" --lambda CuKa1 --theta 5 15 --format json
[[ $STATUS == 0 && $ERR == "The setting of P 1 1 21/b is not in the position files: the file's own operators are used." ]] ||
  fail "unique axis c: $STATUS $ERR"
grep -q '"group": "P 1 1 21/b"' <<<"$OUT" || fail "own group: $OUT"
grep -q '"h": 0, "k": 0, "l": 2' <<<"$OUT" || fail "002: $OUT"
if grep -q '"h": 0, "k": 0, "l": 1,' <<<"$OUT"; then fail "001 listed: $OUT"; fi

# Silicon written the usual way (origin choice 2, no operators): the origin taken is said, and
# the lines are diamond's. Block names match without regard to case.
cat >"$WORK/si2.cif" <<'CIF'
data_Si
_cell_length_a 5.43088
_cell_length_b 5.43088
_cell_length_c 5.43088
_symmetry_space_group_name_H-M 'F d -3 m'
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Si1 0.125 0.125 0.125
CIF
run powder --cif "$WORK/si2.cif" --block si --lambda CuKa1 --theta 10 70 --2theta
[[ $STATUS == 0 && $(sed -n 2p <<<"$OUT") == '  2  2  0  1.920  47.302 12    '* && $(sed -n 4p <<<"$OUT") == *' 8     0.0' ]] ||
  fail "silicon in origin choice 2: $STATUS $OUT $ERR"
[[ $ERR == *"F d -3 m has two origin choices: origin choice 2 is taken"* ]] || fail "origin note: $ERR"

# A FIFO is refused at once, not waited on; an impossible occupancy is refused by atom and value.
mkfifo "$WORK/pipe.cif"
set +e
timeout 10 "$CLI" powder --cif "$WORK/pipe.cif" --lambda CuKa1 >"$WORK/out" 2>"$WORK/err"
STATUS=$?
set -e
ERR=$(cat "$WORK/err")
[[ $STATUS == 1 && $ERR == "Cannot import $WORK/pipe.cif: not a regular file" ]] || fail "fifo: $STATUS $ERR"
sed 's/^Si1 0.125 0.125 0.125$/Si1 0.125 0.125 0.125 1.5/; s/^_atom_site_fract_z$/_atom_site_fract_z\n_atom_site_occupancy/' \
  "$WORK/si2.cif" >"$WORK/occ.cif"
run powder --cif "$WORK/occ.cif" --lambda CuKa1
[[ $STATUS == 1 && $ERR == "Cannot import $WORK/occ.cif: atom Si1: occupancy 1.5 is outside 0 to 1" ]] || fail "occupancy: $STATUS $ERR"

# Bad files and options.
printf 'data_x\n_cell_length_a 5\nloop_\n_a\n' >"$WORK/bad.cif"
run powder --cif "$WORK/bad.cif" --lambda CuKa1
[[ $STATUS == 1 && $ERR == "Cannot import $WORK/bad.cif: no _cell_length_b" ]] || fail "bad cif: $STATUS $ERR"
run powder --cif "$WORK/none.cif" --lambda CuKa1
[[ $STATUS == 1 && $ERR == *"none.cif: the file cannot be read" ]] || fail "missing cif: $STATUS $ERR"
run powder --cif "$WORK/si.cif" --block Sn
[[ $STATUS == 1 && $ERR == *"no data block 'Sn'" ]] || fail "missing block: $STATUS $ERR"
run powder --block Si CUBI 227 --cell 5.43 --lambda 1.54
[[ $STATUS == 2 ]] || fail "--block alone: $STATUS"

if ((failed)); then exit 1; fi
echo "cif command line: all checks passed"
