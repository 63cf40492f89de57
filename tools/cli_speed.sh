#!/usr/bin/env bash
# Whole-process times of obrin-cli on the two everyday powder lists, beside the time a process
# takes at all (/bin/true, a C++ hello-world) and obrin-cli --version, with hyperfine.
#   tools/cli_speed.sh [BIN_DIR] [RUNS]     BIN_DIR defaults to build/bin, RUNS to 300
# Prints hyperfine's mean and spread, then the median and minimum of each and the processor time
# (user + system, less disturbed by other work on the machine), in ms. With callgrind
# installed (CALLGRIND=1) it also prints the instructions of each run, a figure that a busy
# machine does not change.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=$(cd "${1:-build/bin}" && pwd)
RUNS=${2:-300}
CLI="$BIN/obrin-cli"
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }
[[ -x $CLI ]] || { echo "$CLI is not built" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
printf '#include <iostream>\nint main() { std::cout << "hello\\n"; }\n' >"$WORK/hello.cpp"
${CXX:-c++} -O2 -o "$WORK/hello" "$WORK/hello.cpp"

TRICLINIC="$CLI powder TRIC P-1 --cell 20 25 30 80 100 110 --lambda 1.5406 --theta 0 31 --format tsv"
MONOCLINIC="$CLI powder MONO P21/c --cell 20 25 30 90 110 90 --lambda 1.5406 --theta 0 40 --format tsv"
echo "lines: P -1 $($TRICLINIC | tail -n +2 | wc -l), P 21/c $($MONOCLINIC | tail -n +2 | wc -l)"

hyperfine -N -w 20 -r "$RUNS" --export-json "$WORK/times.json" \
  -n true /bin/true -n hello "$WORK/hello" -n version "$CLI --version" \
  -n "P -1 tsv" "$TRICLINIC" -n "P 21/c tsv" "$MONOCLINIC"
python3 - "$WORK/times.json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    cpu = (r["user"] + r["system"]) * 1e3
    print(f"{r['command']:>12}: mean {r['mean'] * 1e3:6.2f}  median {r['median'] * 1e3:6.2f}  min {r['min'] * 1e3:6.2f} ms"
          f"  (user+system {cpu:5.2f} ms)")
PY

if [[ ${CALLGRIND:-0} == 1 ]] && command -v valgrind >/dev/null; then
  for run in "/bin/true" "$WORK/hello" "$CLI --version" "$TRICLINIC" "$MONOCLINIC"; do
    # shellcheck disable=SC2086
    refs=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null $run 2>&1 >/dev/null | sed -n 's/.*refs: *//p')
    echo "instructions: $refs  ${run#"$BIN/"}"
  done
fi
