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

if [[ $failed -ne 0 ]]; then
  echo "$failed failures"
  exit 1
fi
echo "refine: all good"
