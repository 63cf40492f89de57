#!/usr/bin/env bash
# Runs the built obrin-cli as a script of a user would: every output format on a known cubic
# case, cell files written and read back, the resolution of systems, groups and wavelengths,
# and the warnings and exit statuses of refused input and of a wrong command line.
# Arguments: the source directory, the directory of the built programs.
set -euo pipefail

SRC=${1:?source directory}
BIN=${2:?directory of the built programs}
BIN=$(cd "$BIN" && pwd)
CLI="$BIN/obrin-cli"
if [[ ! -x $CLI ]]; then
  echo "obrin-cli is not built ($CLI): skipped"
  exit 77
fi
DATA="$SRC/tests/data/calc"
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"

passed=0
pass() { passed=$((passed + 1)); }

# expect NAME STATUS: the last run ended with STATUS.
expect_status() {
  if [[ $STATUS == "$2" ]]; then pass; else fail "$1: exit status $STATUS, expected $2; stderr: $ERR"; fi
}
# expect_equal NAME ACTUAL EXPECTED
expect_equal() {
  if [[ $2 == "$3" ]]; then
    pass
  else
    fail "$1"
    diff <(printf '%s\n' "$3") <(printf '%s\n' "$2") | sed 's/^/    /' || true
  fi
}
# expect_refusal NAME WARNING ARGS...: exit status 1, the warning alone on stderr, nothing on stdout.
expect_refusal() {
  local name=$1 warning=$2
  shift 2
  run "$@"
  expect_status "$name" 1
  expect_equal "$name: warning" "$ERR" "$warning"
  expect_equal "$name: no output" "$OUT" ""
}
# expect_usage NAME ARGS...: exit status 2 with the usage on stderr.
expect_usage() {
  local name=$1
  shift
  run "$@"
  expect_status "$name" 2
  if [[ $ERR == *"usage: obrin-cli"* ]]; then pass; else fail "$name: no usage text on stderr: $ERR"; fi
}
line() { sed -n "${2}p" <<<"$1"; }

CUBIC=(powder CUBI "P M -3 M" --cell 4 --lambda CuKa1 --theta 5 40 --data-dir "$DATA")

# ---- Formats of one powder list ----------------------------------------------------------------

EXPECTED_LIST="  1  0  0  4.000  11.103  6
  1  1  0  2.828  15.803 12
  1  1  1  2.309  19.484  8
  2  0  0  2.000  22.652  6
  2  1  0  1.789  25.506 24
  2  1  1  1.633  28.145 24
  2  2  0  1.414  33.002 12
  3  0  0  1.333  35.290  6
  2  2  1  1.333  35.290 24
  3  1  0  1.265  37.514 24
  3  1  1  1.206  39.694 24
Nb of calculated reflections: 11"

run "${CUBIC[@]}"
expect_status "list" 0
expect_equal "list: the window's lines and count" "$OUT" "$EXPECTED_LIST"
expect_equal "list: nothing on stderr" "$ERR" ""

run "${CUBIC[@]}" --format list --2theta --theta 10 80
expect_status "list in 2theta" 0
expect_equal "list in 2theta: limits halved, angles doubled" "$(line "$OUT" 1)" "  1  0  0  4.000  22.206  6"
expect_equal "list in 2theta: same count" "$(line "$OUT" 12)" "Nb of calculated reflections: 11"

run "${CUBIC[@]}" --format tsv
expect_status "tsv" 0
expect_equal "tsv: header" "$(line "$OUT" 1)" $'h\tk\tl\td\ttheta\tmultiplicity'
expect_equal "tsv: stored values in full" "$(line "$OUT" 2)" $'1\t0\t0\t3.999999999981056\t11.102789187027804\t6'
expect_equal "tsv: one row a reflection" "$(wc -l <<<"$OUT")" "12"
run "${CUBIC[@]}" --format tsv --decimals 3 --2theta --theta 10 80
expect_equal "tsv: decimals and 2theta" "$(line "$OUT" 1)$(line "$OUT" 2)" \
  $'h\tk\tl\td\t2theta\tmultiplicity1\t0\t0\t4.000\t22.206\t6'

run "${CUBIC[@]}" --format json
expect_status "json" 0
if python3 - "$WORK/out" <<'EOF'; then pass; else fail "json: members and values"; fi
import json, sys
j = json.load(open(sys.argv[1]))
assert j["system"] == "CUBI" and j["group"] == "P M -3 M", j
assert j["cell"] == [4, 4, 4, 90, 90, 90] and j["lambda"] == 1.54056
assert j["limits"] == {"theta_min": 5, "theta_max": 40} and j["mode"] == "powder"
assert j["count"] == 11 == len(j["reflections"])
first = j["reflections"][0]
assert (first["h"], first["k"], first["l"], first["multiplicity"]) == (1, 0, 0, 6), first
assert abs(first["d"] - 4) < 1e-9 and abs(first["theta"] - 11.1028) < 1e-4, first
# the stored angle, printed with every digit it has
assert repr(first["theta"]) == "11.102789187027804", first
assert all(abs(r["two_theta"] - 2 * r["theta"]) < 1e-5 for r in j["reflections"])
assert [r["d"] for r in j["reflections"]] == sorted((r["d"] for r in j["reflections"]), reverse=True)
EOF

EXPECTED_REPORT="
                  Miller indices generator
                  ------------------------

Space Group: P M -3 M
a=  4.00000 b=  4.00000 c=  4.00000
alpha= 90.000 beta= 90.000 gamma= 90.000
lambda=   1.54056

Theta Min =   5.00
Theta Max =  40.00

  h  k  l    dhkl    Theta   Mult
  1  0  0   4.0000  11.103    6
  1  1  0   2.8284  15.803   12
  1  1  1   2.3094  19.484    8
  2  0  0   2.0000  22.652    6
  2  1  0   1.7889  25.506   24
  2  1  1   1.6330  28.145   24
  2  2  0   1.4142  33.002   12
  3  0  0   1.3333  35.290    6
  2  2  1   1.3333  35.290   24
  3  1  0   1.2649  37.514   24
  3  1  1   1.2060  39.694   24"
DATE_TIME='^[0-3][0-9]/[01][0-9]/[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9]$'
run "${CUBIC[@]}" --format report
expect_status "report" 0
if [[ $(line "$OUT" 1) =~ $DATE_TIME ]]; then pass; else fail "report: date and time line: $(line "$OUT" 1)"; fi
expect_equal "report: the text of indic.out" "$(tail -n +2 "$WORK/out")" "$EXPECTED_REPORT"
expect_equal "report: ends with a blank line" "$(tail -c 2 "$WORK/out" | od -An -c | tr -d ' ')" '\n\n'
run "${CUBIC[@]}" --format report --decimals 1 --2theta --theta 10 80
expect_equal "report: decimals and 2theta" "$(sed -n '11,15p' "$WORK/out")" "2Theta Min =  10.00
2Theta Max =  80.00

  h  k  l    dhkl  2Theta  Mult
  1  0  0   4.0000  22.2    6"

run "${CUBIC[@]}" --format excel
expect_status "excel" 0
expect_equal "excel: title" "$(line "$OUT" 1)" "Miller indices generator"
if [[ $(line "$OUT" 3) =~ $DATE_TIME ]]; then pass; else fail "excel: date and time line: $(line "$OUT" 3)"; fi
expect_equal "excel: inputs" "$(sed -n '5,8p' "$WORK/out")" $'Space Group: P M -3 M\n\n  a\t  b\t  c\t alpha\t beta\t gamma\t lambda\t\n  4.00000\t  4.00000\t  4.00000\t 90.00\t 90.00\t 90.00\t   1.54056'
expect_equal "excel: first rows" "$(sed -n '13,14p' "$WORK/out")" $'  h\t  k\t  l\t   dhkl\tTheta\tMult\n  1\t  0\t  0\t   4.000\t 11.103\t    6'

EXPECTED_CELL="
P M -3 M
   4.0000   4.0000   4.0000  90.0000  90.0000  90.0000
     5.000    40.000
   1.54056  0.0  0.0  0.0  0.0"
run "${CUBIC[@]}" --format cell
expect_status "cell" 0
expect_equal "cell: the five lines of a cell file" "$OUT" "$EXPECTED_CELL"

# ---- Cell files read back ----------------------------------------------------------------------

"$CLI" "${CUBIC[@]}" --format cell >"$WORK/cubic.ind"
run powder --from "$WORK/cubic.ind" --data-dir "$DATA"
expect_status "--from" 0
expect_equal "--from: the same list as the command line that wrote the file" "$OUT" "$EXPECTED_LIST"
run powder --from "$WORK/cubic.ind" --data-dir "$DATA" --format cell
expect_equal "--from: the file written back unchanged" "$OUT" "$EXPECTED_CELL"
run powder --from "$WORK/cubic.ind" --data-dir "$DATA" --theta 5 20 --lambda MoKa1
expect_equal "--from: options replace the file's values" "$(line "$OUT" 1)$(tail -n 1 <<<"$OUT")" \
  "  1  0  0  4.000   5.087  6Nb of calculated reflections: 14"
run powder --from "$WORK/cubic.ind" --data-dir "$DATA" --2theta
expect_equal "--from in 2theta: the file's theta limits kept" "$(line "$OUT" 1)$(tail -n 1 <<<"$OUT")" \
  "  1  0  0  4.000  22.206  6Nb of calculated reflections: 11"
run powder --from "$WORK/cubic.ind" CUBI "F M -3 M" --data-dir "$DATA"
expect_equal "--from: SYSTEM and GROUP replace the file's group" "$(line "$OUT" 1)" "  1  1  1  2.309  19.484  8"
run bragg --from "$WORK/cubic.ind" --data-dir "$DATA" --hkl 1 1 0
expect_equal "--from: bragg" "$OUT" "  1  1  0  2.8284  15.803"

# A cubic-looking cell whose group only the orthorhombic file lists is orthorhombic.
printf 'title kept\nP N M A\n   4.0000   4.0000   4.0000  90.0000  90.0000  90.0000\n     5.000    40.000\n   1.54056  0.0  0.0  0.0  0.0\n' >"$WORK/pnma.ind"
run powder --from "$WORK/pnma.ind" --data-dir "$DATA" --format json
expect_status "--from: system derived from cell and group" 0
if grep -q '"system": "ORTH"' "$WORK/out" && grep -q '"group": "P N M A"' "$WORK/out"; then pass; else fail "--from: ORTH expected: $OUT"; fi
run powder --from "$WORK/pnma.ind" --data-dir "$DATA" --format cell
expect_equal "--from: the title is written back" "$(line "$OUT" 1)" "title kept"
run powder --from "$WORK/none.ind" --data-dir "$DATA"
expect_status "--from: a missing file" 1
if [[ $ERR == *none.ind* ]]; then pass; else fail "--from: the warning names the file: $ERR"; fi

# ---- Single crystal and Bragg equation ---------------------------------------------------------

run single CUBI 221 --cell 4 --lambda CuKa1 --limits 0 0 0 0 1 3 --data-dir "$DATA"
expect_equal "single: list" "$OUT" "  0  0  1  4.000  11.103  1
  0  0  2  2.000  22.652  1
  0  0  3  1.333  35.290  1
Nb of calculated reflections: 3"
run single CUBI 221 --cell 4 --lambda CuKa1 --limits 0 0 0 0 1 3 --data-dir "$DATA" --format report
expect_equal "single: report limits" "$(sed -n '11,13p' "$WORK/out")" "Hmin =  0  Hmax =  0
Kmin =  0  Kmax =  0
Lmin =  1  Lmax =  3"
run single CUBI 221 --cell 4 --lambda CuKa1 --limits 0 0 0 0 1 3 --data-dir "$DATA" --format json
if grep -q '"limits": {"hmin": 0, "hmax": 0, "kmin": 0, "kmax": 0, "lmin": 1, "lmax": 3}' "$WORK/out" &&
  grep -q '"mode": "single"' "$WORK/out"; then pass; else fail "single: json limits: $OUT"; fi
expect_refusal "single: limits all 0" "Miller indices error" \
  single CUBI 221 --cell 4 --lambda CuKa1 --limits 0 0 0 0 0 0 --data-dir "$DATA"

run bragg CUBI "F M -3 M" --cell 4 --lambda CuKa1 --hkl 1 0 0 --2theta --data-dir "$DATA"
expect_equal "bragg: forbidden, 2theta" "$OUT" "  1  0  0  4.0000  22.206 F
( F = forbidden)"
run bragg CUBI "F M -3 M" --cell 4 --lambda CuKa1 --hkl 1 1 1 --format json --data-dir "$DATA"
if python3 - "$WORK/out" <<'EOF'; then pass; else fail "bragg: json"; fi
import json, sys
j = json.load(open(sys.argv[1]))
r = j["reflections"][0]
assert j["mode"] == "bragg" and j["count"] == 1 and r["forbidden"] is False
assert (r["h"], r["k"], r["l"]) == (1, 1, 1) and abs(r["d"] - 2.309401) < 1e-5
assert r["two_theta"] == 2 * r["theta"]
EOF
expect_refusal "bragg: beyond 2d = lambda" "Not possible reflection" \
  bragg CUBI 221 --cell 0.5 --lambda CuKa1 --hkl 1 0 0 --data-dir "$DATA"
expect_refusal "bragg: indices not whole" "Bad Miller indices" \
  bragg CUBI 221 --cell 4 --lambda CuKa1 --hkl 1 x 0 --data-dir "$DATA"
expect_refusal "bragg: 0 0 0 is not a success" "No reflection: h k l reads as 0 0 0" \
  bragg CUBI 221 --cell 4 --lambda CuKa1 --hkl 0 0 0 --data-dir "$DATA"

# ---- Systems, groups, wavelengths, cells -------------------------------------------------------

run groups cubic --data-dir "$DATA"
expect_equal "groups: the list name in any case" "$OUT" "P M -3 M
F M -3 M
P A -3"
run groups Othorhombic --data-dir "$DATA"
expect_equal "groups: the system list's spelling" "$(line "$OUT" 1)" "P N M A"
run conditions cubi "pa-3" --data-dir "$DATA"
expect_status "conditions" 0
expect_equal "conditions: decoded lines" "$(line "$OUT" 2)" "h=0,  k=2n"

# Names with their number, and two groups of one number.
sed -e 's/^P M -3 M$/P M -3 M (221)/' -e 's/^F M -3 M$/F M -3 M (225)/' "$DATA/C.pos" >"$WORK/C.pos"
awk '/^P M -3 M$/{f=1} f&&/^0$/{print; f=0; exit} f' "$DATA/C.pos" | sed '1s/.*/P M -3 M SECOND (221)/' >>"$WORK/C.pos"
for word in "P M -3 M (221)" "pm-3m" "P m -3 m" "PM-3M(221)" "221"; do
  run powder CUBI "$word" --cell 4 --lambda CuKa1 --theta 5 40 --data-dir "$WORK" --format json
  if [[ $STATUS == 0 ]] && grep -q '"group": "P M -3 M (221)"' "$WORK/out"; then pass; else
    fail "group \"$word\" should name P M -3 M (221): $ERR"
  fi
done
run powder CUBI 225 --cell 4 --lambda CuKa1 --theta 5 40 --data-dir "$WORK" --format json
if grep -q '"group": "F M -3 M (225)"' "$WORK/out"; then pass; else fail "group 225: $OUT $ERR"; fi

run powder CUBI pm-3m --cell 4 --lambda cuka1 --theta 5 40 --data-dir "$DATA"
expect_equal "lambda: a table row in any case" "$OUT" "$EXPECTED_LIST"
run powder CUBI pm-3m --cell 4 --lambda 1.54056 --theta 5 40 --data-dir "$DATA"
expect_equal "lambda: a number" "$OUT" "$EXPECTED_LIST"
run powder CUBI pm-3m --cell 4 4 4 90 90 90 --lambda CuKa1 --theta 5 40 --data-dir "$DATA"
expect_equal "cell: six numbers" "$OUT" "$EXPECTED_LIST"

cell_of() { # SYSTEM GROUP CELL...: the cell the json reports
  local system=$1 group=$2
  shift 2
  "$CLI" powder "$system" "$group" --cell "$@" --lambda CuKa1 --data-dir "$DATA" --format json |
    sed -n 's/^  "cell": \(.*\),$/\1/p'
}
expect_equal "cell: TETR a c" "$(cell_of TETR "P 4/M" 3 5)" "[3, 3, 5, 90, 90, 90]"
expect_equal "cell: HEXA a c" "$(cell_of HEXA "P 6/M" 3 5)" "[3, 3, 5, 90, 90, 120]"
expect_equal "cell: RHOM a alpha" "$(cell_of RHOM "R -3 M" 5 60)" "[5, 5, 5, 60, 60, 60]"
expect_equal "cell: MONO a b c beta" "$(cell_of MONO "P 21/C" 5 6 7 100)" "[5, 6, 7, 90, 100, 90]"
expect_equal "cell: ORTH a b c" "$(cell_of ORTH "P N M A" 5 6 7)" "[5, 6, 7, 90, 90, 90]"

# ---- Refused input -----------------------------------------------------------------------------

expect_refusal "unknown group" "Error on space group" \
  powder CUBI "P 99" --cell 4 --lambda CuKa1 --theta 5 40 --data-dir "$DATA"
expect_refusal "decimal comma in a" " Cell parameter error" \
  powder CUBI pm-3m --cell 4,2 --lambda CuKa1 --data-dir "$DATA"
expect_refusal "bad c" " Error on c" powder TETR "P 4/M" --cell 3 5x --lambda CuKa1 --data-dir "$DATA"
expect_refusal "bad gamma" " Error sur gamma" \
  powder TRIC "P 1" --cell 3 4 5 90 90 9O --lambda CuKa1 --data-dir "$DATA"
expect_refusal "bad lambda" " Error on lambda" powder CUBI pm-3m --cell 4 --lambda CuKx --data-dir "$DATA"
expect_refusal "zero lambda" "Error. No lambda!" powder CUBI pm-3m --cell 4 --lambda 0 --data-dir "$DATA"
expect_refusal "bad theta1" " Error on theta1" powder CUBI pm-3m --cell 4 --lambda 1.5 --theta "5 " 40 --data-dir "$DATA"
expect_refusal "theta2 above 90" "Error on theta2 (>90)" \
  powder CUBI pm-3m --cell 4 --lambda 1.5 --theta 5 90.01 --data-dir "$DATA"
expect_refusal "2theta2 above 180" "Error on theta2 (>180)" \
  powder CUBI pm-3m --cell 4 --lambda 1.5 --theta 5 180.5 --2theta --data-dir "$DATA"
run powder CUBI pm-3m --cell 4 --lambda 1.5 --theta 5 180 --2theta --data-dir "$DATA"
expect_status "2theta2 of 180 accepted" 0
expect_refusal "cell file without a group" "No space group!" \
  powder CUBI "P 99" --cell 4 --lambda 1.5 --data-dir "$DATA" --format cell
expect_refusal "zero cell" "Error on cell parameters" powder CUBI pm-3m --cell 0 --lambda 1.5 --data-dir "$DATA"
expect_refusal "a whole cell must keep the system's ties" \
  "The cell does not keep the ties of the CUBI system (b = c = a, alpha = beta = gamma = 90)" \
  powder CUBI pm-3m --cell 4 4 5 90 90 90 --lambda 1.5 --data-dir "$DATA"
expect_refusal "too many reflections" "Too many reflections (2)! Decrease the Theta range..." \
  powder TRIC "P 1" --cell 20 20 20 90 90 90 --lambda 0.4 --theta 5 60 --data-dir "$DATA"
expect_refusal "decimals not a whole number" \
  'Number of decimals: "x" is not a whole number from 0 to 30' "${CUBIC[@]}" --format report --decimals x

run "${CUBIC[@]}" --theta 5 6
expect_equal "empty list: printed with its count" "$OUT" "Nb of calculated reflections: 0"
expect_status "empty list" 0
run "${CUBIC[@]}" --theta 5 6 --format report
expect_status "empty report: refused as the window refuses it" 1
expect_equal "empty report: the window's warning" "$ERR" "No calculated reflections!"

run powder CUBI pm-3m --cell 4 --lambda 1.5 --data-dir "$WORK/missing"
expect_status "missing data dir" 1
expect_equal "missing data dir: the position file is named, then the group refused" "$ERR" \
  "C.pos: the position file cannot be read ($WORK/missing/C.pos)
Error on space group"
run groups CUBI --data-dir "$WORK/missing"
expect_status "missing data dir: groups" 1

# The current directory comes before the program's own data.
mkdir "$WORK/cwd"
printf 'One group.\n\nP M -3 M\n221\n1\nx,y,z\n0\n' >"$WORK/cwd/C.pos"
(cd "$WORK/cwd" && "$CLI" groups CUBI >"$WORK/out" 2>&1) || true
expect_equal "position files: the current directory first" "$(cat "$WORK/out")" "P M -3 M"
if [[ -f $BIN/data/C.pos ]]; then
  (cd "$WORK" && "$CLI" groups CUBI >"$WORK/out" 2>&1) && pass || fail "position files beside the program: $(cat "$WORK/out")"
fi

# ---- Command line ------------------------------------------------------------------------------

run --help
expect_status "--help" 0
for word in groups conditions powder single bragg --cell --lambda --theta --2theta --limits --hkl --from \
  --format --decimals --data-dir json report excel; do
  if [[ $OUT == *"$word"* ]]; then pass; else fail "--help does not mention $word"; fi
done
expect_usage "no command"
expect_usage "unknown command" spectrum CUBI
expect_usage "unknown option" "${CUBIC[@]}" --colour
expect_usage "unknown system" powder CUBE pm-3m --cell 4 --lambda 1.5
expect_usage "missing --cell" powder CUBI pm-3m --lambda 1.5
expect_usage "missing --lambda" powder CUBI pm-3m --cell 4
expect_usage "--cell with neither six nor the free count" powder CUBI pm-3m --cell 4 4 --lambda 1.5
expect_usage "--theta with one angle" powder CUBI pm-3m --cell 4 --lambda 1.5 --theta 5
expect_usage "--hkl with powder" "${CUBIC[@]}" --hkl 1 0 0
expect_usage "single without --limits" single CUBI pm-3m --cell 4 --lambda 1.5
expect_usage "bragg with the report format" bragg CUBI pm-3m --cell 4 --lambda 1.5 --hkl 1 0 0 --format report
expect_usage "unknown format" "${CUBIC[@]}" --format xml
expect_usage "a third word" powder CUBI pm-3m extra --cell 4 --lambda 1.5

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
