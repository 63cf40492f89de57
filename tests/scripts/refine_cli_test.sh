#!/usr/bin/env bash
# obrin-cli refine as a script uses it: the command line's faults (status 2), the refusals of
# the inputs with the powder calculation's messages (status 1), and the refinement of peak lists
# and of a measured pattern's peaks in the three formats.
# Arguments: the source directory, the directory of the built programs.
set -euo pipefail

SRC=${1:?source directory}
BIN=$(cd "${2:?directory of the built programs}" && pwd)
CLI="$BIN/obrin-cli"
if [[ ! -x $CLI ]]; then
  echo "obrin-cli is not built: skipped"
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"
DATA=(--data-dir "$SRC/data")
SI=(refine CUBI 227 --cell 5.43 --lambda CuKa1 "${DATA[@]}")

# ---- The command line ------------------------------------------------------------------------
printf '28.44\n47.30\n' >"$WORK/two.txt"
for bad in "" "--peaks $WORK/two.txt --pattern $WORK/two.txt" "--peaks $WORK/two.txt --format report" \
           "--peaks $WORK/two.txt --tolerance 0" "--peaks $WORK/two.txt --tolerance x" \
           "--peaks $WORK/two.txt --displacement -5" "--peaks $WORK/two.txt --theta 5 40" \
           "--peaks $WORK/two.txt --ka2 0.5"; do
  # shellcheck disable=SC2086
  run "${SI[@]}" $bad
  [[ $STATUS == 2 ]] || fail "refine $bad: status $STATUS, $ERR"
done
run refine CUBI 227 --cell 5.43 --peaks "$WORK/two.txt" "${DATA[@]}"
[[ $STATUS == 2 && $ERR == *"refine needs --lambda"* ]] || fail "refine without lambda: status $STATUS, $ERR"
run refine CUBI --cell 5.43 --lambda CuKa1 --peaks "$WORK/two.txt" "${DATA[@]}"
[[ $STATUS == 2 ]] || fail "refine without a group: status $STATUS"

# ---- The inputs, refused as powder refuses them -----------------------------------------------
run refine CUBI 227 --cell 5 5 6 90 90 90 --lambda CuKa1 --peaks "$WORK/two.txt" "${DATA[@]}"
[[ $STATUS == 1 && $ERR == *"does not keep the ties of the CUBI system"* ]] || fail "tied cell: status $STATUS, $ERR"
run refine CUBI 227 --cell 0 --lambda CuKa1 --peaks "$WORK/two.txt" "${DATA[@]}"
[[ $STATUS == 1 && $ERR == *"Error on cell parameters"* ]] || fail "no cell: status $STATUS, $ERR"
run refine CUBI xyz --cell 5.43 --lambda CuKa1 --peaks "$WORK/two.txt" "${DATA[@]}"
[[ $STATUS == 1 ]] || fail "unknown group: status $STATUS, $ERR"

# ---- The peaks of a measured pattern, found by obrin-plot ------------------------------------
if [[ -x $BIN/obrin-plot ]]; then
  SCAN=(--pattern "$SRC/doc/silicon-scan.xy")
  run "${SI[@]}" "${SCAN[@]}" --zero
  [[ $STATUS == 0 && $OUT == *"peaks 6: used 6, unindexed 0"*"a = 5.430"* && $OUT == *"    4    2    2    88.03"* ]] ||
    fail "refine the silicon scan: status $STATUS, $OUT $ERR"
  run "${SI[@]}" "${SCAN[@]}" --zero --displacement --format json
  [[ $STATUS == 0 ]] || fail "refine json: status $STATUS, $ERR"
  python3 - "$WORK/out" <<'PY' || fail "refine json: $(cat "$WORK/out")"
import json, sys
r = json.load(open(sys.argv[1]))
c = r["cell"]
assert abs(c["a"] - 5.4309) < 0.01 and c["b"] == c["a"] and c["gamma"] == 90, c
assert c["a_su"] > 0 and c["volume_su"] > 0 and c["alpha_su"] == 0
assert r["zero_refined"] and r["displacement_refined"] and abs(r["correlation_zero_displacement"]) > 0.9
assert any("correlated" in w for w in r["warnings"])
assert r["unindexed"] == 0 and len(r["lines"]) == 6 and r["F_N_possible"] >= 6 and r["M20"] > 0
first = r["lines"][0]
assert (first["h"], first["k"], first["l"]) == (1, 1, 1) and set(first) >= {
    "two_theta_obs", "two_theta_calc", "delta", "leverage", "outlier", "ambiguous"}
PY
  run "${SI[@]}" "${SCAN[@]}" --format tsv
  [[ $STATUS == 0 && $(grep -c $'^[0-9]\+\t' "$WORK/out") == 6 && $OUT == *$'# unindexed\t0'* ]] ||
    fail "refine tsv: status $STATUS, $OUT"
  # Peaks of another phase: refused with what is missing, nothing printed.
  run refine TETR 141 --cell 3.785 9.514 --lambda CuKa1 "${SCAN[@]}" --tolerance 0.02 "${DATA[@]}"
  [[ $STATUS == 1 && -z $OUT && $ERR == *"Too few indexed lines"* ]] || fail "refine another phase: status $STATUS, $ERR"
  run "${SI[@]}" --pattern "$WORK/two.txt"
  [[ $STATUS == 1 ]] || fail "refine a file that is no pattern: status $STATUS"
  run "${SI[@]}" --peaks "$WORK/two.txt" --scan 2
  [[ $STATUS == 2 ]] || fail "refine --scan without --pattern: status $STATUS"
fi

if [[ $failed -ne 0 ]]; then
  echo "$failed failures"
  exit 1
fi
echo "refine: all good"
