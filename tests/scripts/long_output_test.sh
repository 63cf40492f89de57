#!/usr/bin/env bash
# A list of thousands of lines, written a block at a time, in the tsv, JSON and list formats:
# the three agree line for line across the block boundaries, JSON parses, every tsv number is
# the shortest text that reads back as its value (as Python's repr chooses it), and every list
# field has the decimals printf gives that value.
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

# About 8,600 lines: some 400 KB of text in each format.
request=(powder TRIC P-1 --cell 20 25 30 80 100 110 --lambda CuKa1 --theta 0 31)
for format in tsv json list; do
  run "${request[@]}" --format "$format"
  [[ $STATUS == 0 ]] || fail "$format: exit status $STATUS: $ERR"
  cp "$WORK/out" "$WORK/list.$format"
done

python3 - "$WORK/list.tsv" "$WORK/list.json" "$WORK/list.list" <<'PY' || fail "the formats disagree"
import json, sys

tsv = [line.split("\t") for line in open(sys.argv[1]).read().splitlines()]
doc = json.load(open(sys.argv[2]))
listed = open(sys.argv[3]).read().splitlines()
assert tsv[0] == ["h", "k", "l", "d", "theta", "multiplicity"], tsv[0]
rows, reflections = tsv[1:], doc["reflections"]
assert len(rows) > 8000 and doc["count"] == len(reflections) == len(rows), (len(rows), doc["count"])
assert listed[-1] == f"Nb of calculated reflections: {len(rows)}", listed[-1]


def shortest(value):
    text = repr(value)
    return text[:-2] if text.endswith(".0") else text


for row, r, line in zip(rows, reflections, listed):
    h, k, l, d, theta, m = row
    assert [int(h), int(k), int(l), int(m)] == [r["h"], r["k"], r["l"], r["multiplicity"]], (row, r)
    assert (float(d), float(theta)) == (r["d"], r["theta"]), (row, r)
    assert d == shortest(r["d"]) and theta == shortest(r["theta"]), row
    fields = line.split()
    assert fields == [h, k, l, f"{r['d']:.3f}", f"{r['theta']:.3f}", m], (line, row)
PY

echo "$failed failures"
[[ $failed == 0 ]]
