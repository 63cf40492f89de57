#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/) with clang++ and runs each one in turn.
#
#   tools/fuzz.sh smoke            each harness for 25 s (the check before a merge); fails on any
#                                  crash, leak, sanitizer report or time-out
#   tools/fuzz.sh long [SECONDS]   each harness for SECONDS (default 3600): the long run before a
#                                  release; the summary gives the runs made per harness
#   tools/fuzz.sh list             the harnesses
#
# The release run: OBRIN_FUZZ_RUNS=10000000 tools/fuzz.sh long 3600  (ten million runs of each
# harness, or an hour, whichever comes first; the calculation harness manages far fewer).
# Environment: OBRIN_FUZZ_BUILD (build folder, default build-fuzz), CXX (default clang++-14 or
# clang++), OBRIN_FUZZ_TARGETS (names to run, e.g. "fuzz_triplet fuzz_cellfile"; default all),
# OBRIN_FUZZ_RUNS (stop a harness after this many runs if its time is not up first).
# Each harness keeps the inputs it found interesting in <build>/fuzz-corpus/<name> and starts
# from them next time, beside the seeds of fuzz/corpus/<name> and the program's data files.
# A failing input is saved as <build>/fuzz-artifacts/<name>-crash-... ; replay it with
#   <build>/fuzz/<name> <that file>
# (OBRIN_FUZZ_PRINT=1 makes the calculation harness print the cell, limits and group it used.)
set -euo pipefail

src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${OBRIN_FUZZ_BUILD:-$src/build-fuzz}"
mode="${1:-smoke}"
case "$mode" in
  smoke) seconds="${2:-25}" ;;
  long) seconds="${2:-3600}" ;;
  list) cd "$src/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//'; exit 0 ;;
  -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d'; exit 0 ;;
  *) echo "usage: tools/fuzz.sh smoke | long [SECONDS] | list" >&2; exit 2 ;;
esac

cxx="${CXX:-}"
if [[ -z "$cxx" ]]; then
  if command -v clang++-14 >/dev/null; then cxx=clang++-14; else cxx=clang++; fi
fi
if ! command -v "$cxx" >/dev/null; then
  echo "fuzz.sh: $cxx not found (install clang-14 and libclang-rt-14-dev)" >&2
  exit 1
fi

cmake -S "$src" -B "$build" -DOBRIN_FUZZ=ON -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOBRIN_BUILD_GUI=OFF -DOBRIN_BUILD_TESTS=OFF >/dev/null
mapfile -t all < <(cd "$src/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')
targets=(${OBRIN_FUZZ_TARGETS:-${all[@]}})
cmake --build "$build" -j2 --target "${targets[@]}"

# Options of one harness: whole position files are long, but what matters fits in 8 KB.
options_for() {
  case "$1" in
    fuzz_position_file) echo "-max_len=8192" ;;
    fuzz_pattern_file) echo "-max_len=16384" ;;
    fuzz_cif) echo "-max_len=4096" ;;
    *) echo "" ;;
  esac
}

# Extra seed folders beside fuzz/corpus/<name>.
seeds_for() {
  case "$1" in
    fuzz_position_file) echo "$src/data $src/tests/data/calc $src/tests/data/edge $src/tests/data/cellfile" ;;
    *) echo "" ;;
  esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$src/fuzz/lsan.supp}"
mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts" "$build/fuzz-logs"
failed=()
summary=()
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/${t#fuzz_}"
  mkdir -p "$corpus"
  log="$build/fuzz-logs/$t.log"
  dirs=("$corpus")
  [[ -d "$src/fuzz/corpus/${t#fuzz_}" ]] && dirs+=("$src/fuzz/corpus/${t#fuzz_}")
  for d in $(seeds_for "$t"); do dirs+=("$d"); done
  echo "== $t: ${seconds} s"
  status=0
  # shellcheck disable=SC2046
  "$build/fuzz/$t" -max_total_time="$seconds" ${OBRIN_FUZZ_RUNS:+-runs=$OBRIN_FUZZ_RUNS} $(options_for "$t") -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$t-" "${dirs[@]}" >"$log" 2>&1 || status=$?
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || echo '?')"
  if [[ $status -ne 0 ]]; then
    failed+=("$t")
    summary+=("$t: FAILED after $runs runs (exit $status), see $log")
    tail -n 40 "$log" >&2
  else
    summary+=("$t: $runs runs (limit ${seconds} s), no crash, leak or sanitizer report")
  fi
done
printf '%s\n' "${summary[@]}"
echo "fuzz: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
[[ ${#failed[@]} -eq 0 ]]
