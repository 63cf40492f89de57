#!/usr/bin/env bash
# Extreme input through obrin-cli: each case ends at once with the warning on stderr and exit
# status 1 (or a list), never with a crash, a hang or a wrapped index.
# Arguments: the source directory, the directory of the built programs.
set -euo pipefail
SRC=${1:?source directory}
BIN=${2:?directory of the built programs}
CLI="$(cd "$BIN" && pwd)/obrin-cli"
if [[ ! -x $CLI ]]; then
  echo "obrin-cli is not built ($CLI): skipped"
  exit 77
fi
DATA="$SRC/tests/data/calc"
failed=0

# expect NAME STATUS WARNING ARGS...: within 10 s, that status and (when not empty) that stderr.
expect() {
  local name=$1 status=$2 warning=$3
  shift 3
  local err got
  set +e
  err=$(timeout 10 "$CLI" "$@" --data-dir "$DATA" 2>&1 >/dev/null)
  got=$?
  set -e
  if [[ $got != "$status" ]]; then
    echo "FAIL: $name: exit status $got, expected $status; stderr: $err"
    failed=$((failed + 1))
  elif [[ -n $warning && $err != "$warning" ]]; then
    echo "FAIL: $name: stderr \"$err\", expected \"$warning\""
    failed=$((failed + 1))
  fi
}

expect "negative lambda" 1 " Error on lambda" powder CUBI pm-3m --cell 4 --lambda -1.5406 --theta 5 40
expect "negative lambda, single" 1 " Error on lambda" single CUBI pm-3m --cell 4 --lambda -1 --limits 0 2 0 2 0 2
expect "negative lambda, bragg" 1 " Error on lambda" bragg CUBI pm-3m --cell 4 --lambda -1 --hkl 1 1 1
expect "reversed limits" 1 " Error on theta2" powder CUBI pm-3m --cell 4 --lambda 1.5406 --theta 40 5
expect "negative theta1" 1 " Error on theta1" powder CUBI pm-3m --cell 4 --lambda 1.5406 --theta -5 40
expect "angle 180" 1 "Error on cell parameters" powder MONO "P 21/C" --cell 4 5 6 180 --lambda 1.5 --theta 5 40
expect "angle 0" 1 "Error on cell parameters" powder TRIC "P 1" --cell 4 5 6 0 90 90 --lambda 1.5 --theta 5 40
expect "huge cell" 1 "Too many reflections (1)! Decrease the Theta range..." \
  powder CUBI pm-3m --cell 1e6 --lambda 1.5406 --theta 5 40
expect "tiny cell" 0 "" powder CUBI pm-3m --cell 1e-6 --lambda 1.5406 --theta 5 40
expect "tiny lambda" 1 "Too many reflections (1)! Decrease the Theta range..." \
  powder CUBI pm-3m --cell 4 --lambda 1e-6 --theta 5 40
expect "Miller limits beyond 16 bits" 1 "Miller indices error" \
  single CUBI pm-3m --cell 1e6 --lambda 1.5406 --limits 0 0 0 0 -40000 40000
expect "wide Miller limits, small cell" 0 "" \
  single CUBI pm-3m --cell 4 --lambda 1.5406 --limits -2000000000 2000000000 -2000000000 2000000000 0 0
expect "Bragg index beyond 16 bits" 1 "Bad Miller indices" bragg HEXA "P 63/M M C" --cell 4 6 --lambda 1.5 --hkl 2000000000 2000000000 1
expect "decimals 1000" 1 "" powder CUBI pm-3m --cell 4 --lambda 1.5406 --theta 5 40 --format report --decimals 1000

# A cell file of binary junk, and one with a 100 kB line.
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
head -c 4096 /dev/urandom >"$WORK/junk.ind"
expect "junk cell file" 1 "" powder --from "$WORK/junk.ind"
{ printf 'title\nP M -3 M\n'; head -c 100000 /dev/zero | tr '\0' '4'; printf '\n5 40\n1.5\n'; } >"$WORK/long.ind"
expect "long line in a cell file" 1 "Cannot import long.ind (line 3): the line is longer than 1024 characters" \
  powder --from "$WORK/long.ind"

# Failures that once passed for success.
for hkl in "2147483648 0 0" "1.5 0 0" "a 0 0"; do
  # shellcheck disable=SC2086
  expect "bragg $hkl" 1 "Bad Miller indices" bragg CUBI pm-3m --cell 4 --lambda 1.5406 --hkl $hkl
done
if [[ -w /dev/full ]]; then
  for args in "groups CUBI" "powder CUBI pm-3m --cell 4 --lambda 1.5406 --theta 5 40 --format json"; do
    set +e
    # shellcheck disable=SC2086
    err=$("$CLI" $args --data-dir "$DATA" 2>&1 >/dev/full)
    got=$?
    set -e
    if [[ $got != 1 || $err != "Cannot write the output: No space left on device" ]]; then
      echo "FAIL: $args > /dev/full: exit status $got, stderr \"$err\""
      failed=$((failed + 1))
    fi
  done
fi
# A cell file's monoclinic cell does not become cubic because the command line says CUBI.
"$CLI" powder MONO "P 21/C" --cell 4 5 6 100 --lambda 1.5406 --theta 5 40 --format cell --data-dir "$DATA" >"$WORK/m.ind"
expect "system override after --from" 1 "The cell does not keep the ties of the CUBI system (b = c = a, alpha = beta = gamma = 90)" \
  powder --from "$WORK/m.ind" CUBI pm-3m
# The first entry of a number is damaged: a warning, not the next entry of that number.
mkdir "$WORK/damaged"
printf '\nP 21/C\n14\n2\nx,y,z\n-x,y+1/2,w\n0\n\nP 21/N\n14\n2\nx,y,z\n-x+1/2,y+1/2,-z+1/2\n0\n' >"$WORK/damaged/M.pos"
set +e
err=$("$CLI" powder MONO 14 --cell 4 5 6 100 --lambda 1.5406 --theta 5 40 --data-dir "$WORK/damaged" 2>&1 >/dev/null)
got=$?
set -e
if [[ $got != 1 || $err != 'M.pos, group "P 21/C", line 6: "-x,y+1/2,w" is not a coordinate triplet ("w" is not understood)' ]]; then
  echo "FAIL: damaged first entry of a number: exit status $got, stderr \"$err\""
  failed=$((failed + 1))
fi

if [[ $failed -ne 0 ]]; then
  echo "$failed case(s) failed"
  exit 1
fi
echo "all cases passed"
