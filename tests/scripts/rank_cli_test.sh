#!/usr/bin/env bash
# obrin-cli rank as a script uses it: peaks of P n m a made from its own lines rank its class
# first in every format, a short list ties, an impurity is borne when allowed, every system of a
# cubic metric is ranked on request, a CIF's group is checked against its intensities, and bad
# options and files are refused with their exit statuses.
# Arguments: the source directory, the directory of the built programs.
set -euo pipefail

SRC=${1:?source directory}
BIN=$(cd "${2:?directory of the built programs}" && pwd)
CLI="$BIN/obrin-cli"
if [[ ! -x $CLI ]] || ! command -v python3 >/dev/null; then
  echo "obrin-cli or python3 is missing: skipped"
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"

CELL=(--cell 5.75 7.95 5.45 --lambda 1.5406)
# The lines of P n m a from 15° to 70° 2θ as a peak list: 2θ and the multiplicity as height.
run powder ORTH "P N M A (62)" "${CELL[@]}" --theta 15 70 --2theta --format tsv
[[ $STATUS == 0 ]] || fail "powder: $ERR"
{ echo "# 2theta intensity"; awk -F'\t' 'NR > 1 { print $5, $6 }' "$WORK/out"; } >"$WORK/peaks.txt"
head -4 "$WORK/peaks.txt" >"$WORK/short.txt"

run rank ORTH "${CELL[@]}" --peaks "$WORK/peaks.txt" --format json
[[ $STATUS == 0 ]] || fail "rank json: status $STATUS, $ERR"
python3 - "$WORK/out" <<'PY' || fail "rank json: $(head -c 600 "$WORK/out")"
import json, sys
doc = json.load(open(sys.argv[1]))
first = doc["classes"][0]
assert "P N M A (62)" in first["groups"], first
assert first["symbol"] == "P n - a" and first["unexplained"] == [] and first["missing"] == [], first
assert doc["tied"] == 1 and doc["systems"] == ["ORTH"], doc["tied"]
assert sum(len(c["groups"]) for c in doc["classes"]) == 227
kept = [c["score"] for c in doc["classes"] if not c["ruled_out"]]
assert kept == sorted(kept), "not best first"
assert all(c["ruled_out"] for c in doc["classes"][len(kept):])
primitive = next(c for c in doc["classes"] if "P M M M (47)" in c["groups"])
assert primitive["missing"] and all({"h", "k", "l", "two_theta", "d", "weight"} <= set(m) for m in primitive["missing"])
PY

run rank ORTH "${CELL[@]}" --peaks "$WORK/peaks.txt"
[[ $STATUS == 0 ]] || fail "rank list: status $STATUS, $ERR"
sed -n 3p "$WORK/out" | grep -q "P n - a.*P N M A (62)" || fail "rank list, first class: $(head -3 "$WORK/out")"
grep -q "classes tie" "$WORK/out" && fail "rank list ties on a full list"
run rank ORTH "${CELL[@]}" --peaks "$WORK/peaks.txt" --format tsv
[[ $(head -1 "$WORK/out") == $'rank\tscore\truled_out\tunexplained\tmissing\tallowed_lines\tM20\tsymbol\tgroups' ]] ||
  fail "rank tsv header: $(head -1 "$WORK/out")"
[[ $(sed -n 2p "$WORK/out" | cut -f1,8) == $'1\tP n - a' ]] || fail "rank tsv first row: $(sed -n 2p "$WORK/out")"

run rank ORTH "${CELL[@]}" --peaks "$WORK/short.txt"
[[ $STATUS == 0 ]] && grep -q "classes tie: the peaks cannot tell them apart" "$WORK/out" ||
  fail "rank of four peaks does not tie: $(tail -3 "$WORK/out")"

# One peak of nothing in the cell: every class is ruled out, unless one impurity is allowed.
echo "26.1 30" >>"$WORK/peaks.txt"
run rank ORTH "${CELL[@]}" --peaks "$WORK/peaks.txt" --format json
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["tied"] == 0 and d["classes"][0]["ruled_out"]' \
  "$WORK/out" || fail "an impurity is not refused"
run rank ORTH "${CELL[@]}" --peaks "$WORK/peaks.txt" --impurities 1 --format json
python3 - "$WORK/out" <<'PY' || fail "an impurity allowed: $(head -c 400 "$WORK/out")"
import json, sys
doc = json.load(open(sys.argv[1]))
first = doc["classes"][0]
assert "P N M A (62)" in first["groups"] and not first["ruled_out"], first["groups"]
assert [u["two_theta"] for u in first["unexplained"]] == [26.1] and first["score"] == 1, first
PY

# A cubic metric ranks the groups of every system whose ties it keeps.
python3 -c 'import math
for n in (1, 2, 3, 4, 5, 6, 8, 9, 10):
    print(round(2 * math.degrees(math.asin(1.5406 * math.sqrt(n) / (2 * 4.02))), 4))' >"$WORK/cubic.txt"
run rank CUBI --cell 4.02 --lambda 1.5406 --peaks "$WORK/cubic.txt" --all-systems --format json
python3 - "$WORK/out" <<'PY' || fail "rank --all-systems: $(head -c 400 "$WORK/out") $ERR"
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["systems"] == ["CUBI", "TETR", "ORTH", "RHOM", "MONO", "TRIC"], doc["systems"]
first = doc["classes"][0]
assert "P M -3 M (221)" in first["groups"] and "P M M M (47)" in first["groups"] and "P -1 (2)" in first["groups"]
PY

# A CIF's group is checked against its intensities: silicon's weak 2 2 2 is no evidence against it.
cat >"$WORK/si.cif" <<'CIF'
data_Si
_cell_length_a 5.43088
_cell_length_b 5.43088
_cell_length_c 5.43088
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_symmetry_space_group_name_H-M 'F d -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Si1 Si 0 0 0
CIF
printf '28.442 100\n47.302 64\n56.122 37\n69.129 10\n76.375 14\n88.029 20\n' >"$WORK/si.txt"
run rank --cif "$WORK/si.cif" --lambda 1.5406 --peaks "$WORK/si.txt" --format json
python3 - "$WORK/out" <<'PY' || fail "rank --cif: $(tail -c 400 "$WORK/out") $ERR"
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["structure"]["consistent"] and doc["structure"]["strong_missing"] == [], doc["structure"]
assert "F D -3 M (227)" in doc["classes"][doc["structure"]["class"] - 1]["groups"]
PY

# From a measured pattern (obrin-plot finds its peaks): silicon's scan ranks F d - - first, and
# the missing 2 2 2 weighs by what the scan shows there.
if [[ -x $BIN/obrin-plot ]]; then
  run rank CUBI --cell 5.4309 --lambda CuKa1 --pattern "$SRC/doc/silicon-scan.xy" --format json
  python3 - "$WORK/out" <<'PY' || fail "rank --pattern: status $STATUS, $(head -c 600 "$WORK/out") $ERR"
import json, sys
doc = json.load(open(sys.argv[1]))
first = doc["classes"][0]
assert "F D -3 M (227)" in first["groups"] and first["symbol"] == "F d - -" and doc["tied"] == 1, first
assert [(m["h"], m["k"], m["l"]) for m in first["missing"]] == [(2, 2, 2)], first["missing"]
assert 0 <= first["missing"][0]["weight"] <= 1 and first["score"] < 1
assert doc["range"][0] < 11 and doc["range"][1] > 89, doc["range"]
PY
  run rank CUBI --cell 5.4309 --lambda CuKa1 --pattern "$WORK/missing.xy"
  [[ $STATUS == 1 ]] && grep -q "missing.xy" "$WORK/err" || fail "rank --pattern of a missing file: status $STATUS, $ERR"
fi

# Refusals: usage faults exit 2, a file or input that cannot be used exits 1, naming it.
for bad in "--peaks $WORK/peaks.txt --tolerance 0" "--peaks $WORK/peaks.txt --impurities -1" \
           "--peaks $WORK/peaks.txt --zero 20" "--peaks $WORK/peaks.txt --format report" \
           "--peaks $WORK/peaks.txt --pattern $WORK/peaks.txt" ""; do
  # shellcheck disable=SC2086
  run rank ORTH "${CELL[@]}" $bad
  [[ $STATUS == 2 ]] || fail "rank $bad: status $STATUS"
done
run rank ORTH ORTH "${CELL[@]}" --peaks "$WORK/peaks.txt"
[[ $STATUS == 2 ]] || fail "rank with a GROUP: status $STATUS"
run rank ORTH "${CELL[@]}" --peaks "$WORK/missing.txt"
[[ $STATUS == 1 ]] && grep -q "missing.txt" "$WORK/err" || fail "a missing peak list: status $STATUS, $ERR"
: >"$WORK/empty.txt"
run rank ORTH "${CELL[@]}" --peaks "$WORK/empty.txt"
[[ $STATUS == 1 && -s $WORK/err ]] || fail "an empty peak list: status $STATUS"
run rank ORTH --cell 5 5 5 90 90 100 --lambda 1.5406 --peaks "$WORK/peaks.txt"
[[ $STATUS == 1 ]] && grep -q "ties of the ORTH system" "$WORK/err" || fail "a cell off its system: status $STATUS, $ERR"

if [[ $failed -gt 0 ]]; then
  echo "$failed failure(s)"
  exit 1
fi
echo "rank: all checks passed"
