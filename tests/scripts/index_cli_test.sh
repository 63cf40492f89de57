#!/usr/bin/env bash
# obrin-cli index as a script uses it: the command line's faults (status 2), limits and files
# refused naming the option or the file (status 1), a face-centred cubic list indexed as cF with
# its cell in every format, and random positions answered "not indexed" with status 0.
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
: "$SRC"

LAMBDA=1.540598
# The lines of an F lattice with a = 5.4309 A (h, k, l all even or all odd), 2theta to 4 decimals.
python3 - "$LAMBDA" >"$WORK/cf.txt" <<'PY'
import math, sys
lam, a = float(sys.argv[1]), 5.4309
sums = sorted({h*h + k*k + l*l for h in range(8) for k in range(8) for l in range(8)
               if (h % 2 == k % 2 == l % 2) and h + k + l > 0})
print("# 2theta intensity")
for n in sums:
    s = lam * math.sqrt(n) / (2 * a)
    if s < math.sin(math.radians(75)):
        print(f"{2 * math.degrees(math.asin(s)):.4f} 100")
PY
# The same lines as measured: a zero shift of 0.05 deg, noise of 0.01 deg and one impurity line.
python3 - "$LAMBDA" >"$WORK/measured.txt" <<'PY'
import math, random, sys
random.seed(5)
lam, a = float(sys.argv[1]), 5.4309
sums = sorted({h*h + k*k + l*l for h in range(8) for k in range(8) for l in range(8)
               if (h % 2 == k % 2 == l % 2) and h + k + l > 0})
lines = [2 * math.degrees(math.asin(lam * math.sqrt(n) / (2 * a))) + 0.05 + random.gauss(0, 0.01)
         for n in sums if lam * math.sqrt(n) / (2 * a) < math.sin(math.radians(75))]
for t in sorted(lines + [37.7]): print(f"{t:.4f}")
PY
# Positions no cell explains: random, but the same every run.
python3 -c 'import random
random.seed(26)
for t in sorted(random.uniform(10, 80) for _ in range(16)): print(f"{t:.4f}")' >"$WORK/random.txt"
head -6 "$WORK/cf.txt" >"$WORK/few.txt"

# ---- The command line ------------------------------------------------------------------------
for bad in "" "--peaks $WORK/cf.txt --pattern $WORK/cf.txt" "--peaks $WORK/cf.txt --format report" \
           "--peaks $WORK/cf.txt --zero 0.1" "--peaks $WORK/cf.txt --lines" "--peaks $WORK/cf.txt --scan 2"; do
  # shellcheck disable=SC2086
  run index --lambda "$LAMBDA" $bad
  [[ $STATUS == 2 ]] || fail "index $bad: status $STATUS, $ERR"
done
run index --peaks "$WORK/cf.txt"
[[ $STATUS == 2 && $ERR == *"index needs --lambda"* ]] || fail "index without lambda: status $STATUS, $ERR"
run index CUBI --lambda "$LAMBDA" --peaks "$WORK/cf.txt"
[[ $STATUS == 2 && $ERR == *"--systems"* ]] || fail "index with a SYSTEM: status $STATUS, $ERR"

# ---- Limits and files, refused naming what is wrong --------------------------------------------
refused() {  # WHAT EXPECTED-IN-ERR ARGS...
  local what=$1 expected=$2
  shift 2
  run index "$@"
  [[ $STATUS == 1 && $ERR == *"$expected"* ]] || fail "$what: status $STATUS, $ERR"
}
P=(--peaks "$WORK/cf.txt")
refused "--lines 3" "--lines takes a whole number of lines from 8 to 60" --lambda "$LAMBDA" "${P[@]}" --lines 3
refused "--lines 61" "--lines takes" --lambda "$LAMBDA" "${P[@]}" --lines 61
refused "--lines 9.5" "--lines takes" --lambda "$LAMBDA" "${P[@]}" --lines 9.5
refused "--tolerance 0" "--tolerance takes" --lambda "$LAMBDA" "${P[@]}" --tolerance 0
refused "--tolerance 0.6" "at most 0.5" --lambda "$LAMBDA" "${P[@]}" --tolerance 0.6
refused "--max-volume -1" "--max-volume takes" --lambda "$LAMBDA" "${P[@]}" --max-volume -1
refused "--max-volume 30000" "at most 20000" --lambda "$LAMBDA" "${P[@]}" --max-volume 30000
refused "--impurities -1" "--impurities takes" --lambda "$LAMBDA" "${P[@]}" --impurities -1
refused "--zero-range 2" "--zero-range takes a shift in degrees 2theta from 0 to 1" --lambda "$LAMBDA" "${P[@]}" \
  --zero-range 2
refused "--systems CUBI,CUBE" 'unknown crystal system "CUBE"' --lambda "$LAMBDA" "${P[@]}" --systems CUBI,CUBE
refused "--systems CUBI," 'unknown crystal system ""' --lambda "$LAMBDA" "${P[@]}" --systems CUBI,
refused "--lambda 0" "--lambda takes" --lambda 0 "${P[@]}"
refused "--lambda CuKa9" "--lambda takes" --lambda CuKa9 "${P[@]}"
refused "a missing peak list" "missing.txt" --lambda "$LAMBDA" --peaks "$WORK/missing.txt"
printf '28.4\nnot a peak\n' >"$WORK/bad.txt"
refused "a peak list with a bad row" "bad.txt" --lambda "$LAMBDA" --peaks "$WORK/bad.txt"
if [[ -x $BIN/obrin-plot ]]; then
  refused "a missing pattern" "missing.xy" --lambda "$LAMBDA" --pattern "$WORK/missing.xy"
fi

# ---- The search ------------------------------------------------------------------------------
run index --lambda "$LAMBDA" --peaks "$WORK/cf.txt" --format json
if [[ $STATUS == 1 && $ERR == *"Indexing is not available yet"* ]]; then
  echo "the indexing search is not available in this build: its cases are skipped"
else
  [[ $STATUS == 0 ]] || fail "index json: status $STATUS, $ERR"
  python3 - "$WORK/out" "$LAMBDA" <<'PY' || fail "index json of the cF list: $(head -c 1500 "$WORK/out") $ERR"
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["complete"] is True and doc["indexed"] is True, (doc["complete"], doc["indexed"], doc["notes"])
searched = doc["searched"]
# Every system from cubic down, or as far as the search needed to go.
assert searched["systems"][0] == "CUBI" and searched["systems"] == sorted(searched["systems"], key=[
    "CUBI", "TETR", "ORTH", "HEXA", "RHOM", "MONO", "TRIC"].index), searched
assert searched["wavelength"] == float(sys.argv[2]) and searched["tolerance"] == 0.03, searched
assert searched["impurities"] == 1 and searched["zero_range"] == 0.1 and searched["max_volume"] == 2500, searched
best = doc["solutions"][0]
assert best["system"] == "CUBI" and best["lattice"] == "cF", best
assert abs(best["cell"][0] - 5.4309) < 0.001 and best["cell"][3:] == [90, 90, 90], best["cell"]
assert best["passes"] and (best["M20"] is None or best["M20"] >= 10), best["M20"]
assert best["indexed"] == best["lines"] and abs(best["zero"]) < 0.01, best
assert len(best["cell_su"]) == 6 and all(x >= 0 for x in best["cell_su"]), best["cell_su"]
for r in best["related"]:
    assert {"relation", "lattice", "cell", "volume", "M20"} <= set(r), r
# No rival is a cell of the same lattice: those are grouped under the solution.
for s in doc["solutions"][1:]:
    assert not (s["lattice"] == "cF" and abs(s["cell"][0] - 5.4309) < 0.01), s
PY
  run index --lambda "$LAMBDA" --peaks "$WORK/measured.txt" --format json
  python3 - "$WORK/out" <<'PY' || fail "index json of the measured cF list: status $STATUS, $(head -c 1200 "$WORK/out") $ERR"
import json, sys
doc = json.load(open(sys.argv[1]))
best = doc["solutions"][0]
assert doc["indexed"] and best["lattice"] == "cF" and abs(best["cell"][0] - 5.4309) < 0.001, best
assert abs(best["zero"] - 0.05) < 0.02 and best["indexed"] == best["lines"] - 1, best
PY
  run index --lambda "$LAMBDA" --peaks "$WORK/cf.txt" --systems cubic
  [[ $STATUS == 0 ]] || fail "index list: status $STATUS, $ERR"
  grep -q "^Search complete" "$WORK/out" && grep -q "^Indexed" "$WORK/out" &&
    grep -q "^Solution 1: CUBI cF" "$WORK/out" && grep -q "^  a = 5\.43[01]" "$WORK/out" &&
    grep -q "^  M[0-9]* = .*Nposs = " "$WORK/out" && grep -q "systems CUBI$" "$WORK/out" ||
    fail "index list of the cF list: $(head -12 "$WORK/out")"
  run index --lambda "$LAMBDA" --peaks "$WORK/cf.txt" --systems TETR,CUBI --format tsv
  [[ $(head -1 "$WORK/out" | cut -f1-4,20-24) == $'rank\tsystem\tlattice\ta\tM20\tF_N\tindexed\tlines\tpasses' ]] ||
    fail "index tsv header: $(head -1 "$WORK/out")"
  [[ $(sed -n 2p "$WORK/out" | cut -f1-3,24) == $'1\tCUBI\tcF\ttrue' ]] || fail "index tsv first row: $(sed -n 2p "$WORK/out")"

  run index --lambda "$LAMBDA" --peaks "$WORK/random.txt" --systems CUBI,TETR,HEXA,RHOM --format json
  [[ $STATUS == 0 ]] || fail "index of random positions: status $STATUS, $ERR"
  python3 - "$WORK/out" <<'PY' || fail "index json of random positions: $(head -c 1000 "$WORK/out")"
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["indexed"] is False and doc["complete"] is True, (doc["indexed"], doc["complete"])
assert doc["searched"]["systems"] == ["CUBI", "TETR", "HEXA", "RHOM"], doc["searched"]
assert not any(s["passes"] for s in doc["solutions"]), [s["M20"] for s in doc["solutions"]]
PY
  run index --lambda "$LAMBDA" --peaks "$WORK/random.txt" --systems CUBI,TETR,HEXA,RHOM
  [[ $STATUS == 0 ]] && grep -q "^Not indexed" "$WORK/out" || fail "index list of random positions: $STATUS, $(head -5 "$WORK/out")"

  refused "fewer peaks than the search needs" "8" --lambda "$LAMBDA" --peaks "$WORK/few.txt"
fi

if [[ $failed -gt 0 ]]; then
  echo "$failed failure(s)"
  exit 1
fi
echo "index: all checks passed"
