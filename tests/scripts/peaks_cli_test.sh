#!/usr/bin/env bash
# obrin-cli peaks as a script uses it: the silicon scan's lines in the three formats (JSON that
# parses, the lines where they were made), the wavelength a file stores, a pattern without
# peaks saying why, the refusals with their exit statuses, and plot --peaks.
# Arguments: the source directory, the directory of the built programs.
set -euo pipefail

SRC=${1:?source directory}
BIN=$(cd "${2:?directory of the built programs}" && pwd)
CLI="$BIN/obrin-cli"
if [[ ! -x $CLI || ! -x $BIN/obrin-plot ]]; then
  echo "obrin-cli or obrin-plot is not built: skipped"
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"
SCAN=$SRC/doc/silicon-scan.xy

run peaks "$SCAN" --lambda CuKa1
[[ $STATUS == 0 && ! -s $WORK/err ]] || fail "peaks list: status $STATUS, $ERR"
grep -q '^6 peaks: 2theta, s.u. and FWHM in degrees 2theta, d in angstrom, wavelength 1.54056, K-alpha-2 1.54439 ratio 0.5, background SNIP$' "$WORK/out" \
  || fail "peaks list summary: $OUT"
head -n 1 "$WORK/out" | grep -q '2theta *s.u. *d *height *area *FWHM *eta *signif.' || fail "peaks list header: $(head -n 1 "$WORK/out")"

# JSON: it parses, and silicon's 111 220 311 400 331 (a = 5.4309 Å, Cu Kα1) are within 0.01°.
run peaks "$SCAN" --lambda 1.54056 --format json
[[ $STATUS == 0 ]] || fail "peaks json: status $STATUS, $ERR"
if command -v python3 >/dev/null; then
  python3 - "$WORK/out" <<'PY' || fail "peaks json content: $OUT"
import json, math, sys
doc = json.load(open(sys.argv[1]))
assert doc["wavelength"] == 1.54056 and doc["background"] == "SNIP" and doc["kalpha2"]["ratio"] == 0.5
assert doc["count"] == len(doc["peaks"]) and doc["notes"] == []
keys = {"two_theta", "two_theta_su", "d", "height", "height_su", "area", "area_su", "fwhm", "fwhm_su", "eta", "eta_su", "significance"}
for p in doc["peaks"]:
    assert set(p) == keys, p
    assert p["two_theta_su"] > 0 and p["significance"] >= 5
for h, k, l in [(1, 1, 1), (2, 2, 0), (3, 1, 1), (4, 0, 0), (3, 3, 1)]:
    d = 5.4309 / math.sqrt(h * h + k * k + l * l)
    two_theta = 360 / math.pi * math.asin(1.54056 / (2 * d))
    best = min(doc["peaks"], key=lambda p: abs(p["two_theta"] - two_theta))
    assert abs(best["two_theta"] - two_theta) < 0.01 and abs(best["d"] - d) < 0.001, (h, k, l, best)
PY
fi

# tsv: the peak-list file, with its units; the range bounds the peaks; no wavelength, d null.
run peaks "$SCAN" --format tsv --range 40 60
[[ $STATUS == 0 ]] && grep -q '^# units: 2theta, 2theta_su, fwhm, fwhm_su in degrees 2theta' "$WORK/out" \
  && grep -q $'^2theta\t2theta_su\td\theight' "$WORK/out" || fail "peaks tsv: $OUT"
[[ $(awk '$1 ~ /^[0-9.]+$/' "$WORK/out" | wc -l) == 2 ]] || fail "peaks --range 40 60: $OUT"
run peaks "$SCAN" --format json --min-significance 50
grep -q '"d": null' "$WORK/out" && grep -q '"wavelength": null' "$WORK/out" || fail "peaks without a wavelength: $OUT"
[[ $(grep -c '"two_theta"' "$WORK/out") == 3 ]] || fail "peaks --min-significance 50: $OUT"

# A file that stores its lines gives the wavelength and the Kα2 ratio.
{
  printf '_WL1=1.54056\n_WL2=1.54439\n_WLRATIO=0.52\n_DRIVE=COUPLED\n_START=27\n_STEPSIZE=0.02\n_COUNTS\n'
  awk 'NR > 2 && $1 >= 27 && $1 < 30 { printf "%d\n", $2 }' "$SCAN"
} >"$WORK/si.uxd"
run peaks "$WORK/si.uxd" --format json
[[ $STATUS == 0 ]] && grep -q '"wavelength": 1.54056' "$WORK/out" && grep -q '"kalpha2": {"wavelength": 1.54439, "ratio": 0.52}' "$WORK/out" \
  && [[ $(grep -c '"two_theta"' "$WORK/out") == 1 ]] || fail "peaks of a UXD file: $OUT $ERR"

# No peak in a flat pattern: an empty list and why, and still done.
printf '%s\n' $(seq 100) | awk '{ print 10 + $1 * 0.02, 100 }' >"$WORK/flat.xy"
run peaks "$WORK/flat.xy"
[[ $STATUS == 0 ]] && grep -q '^0 peaks' "$WORK/out" && grep -q '^Note: The pattern is flat: it holds no peak$' "$WORK/out" || fail "flat pattern: status $STATUS, $OUT"
run peaks "$WORK/flat.xy" --format json
grep -q '"count": 0' "$WORK/out" && grep -q '"notes": \["The pattern is flat: it holds no peak"\]' "$WORK/out" || fail "flat pattern json: $OUT"

printf '10 5\n10.5 x\n' >"$WORK/bad.xy"
run peaks "$WORK/bad.xy"
[[ $STATUS == 1 ]] && grep -q 'bad.xy".*line 2' "$WORK/err" || fail "bad pattern: status $STATUS, $ERR"
run peaks "$SCAN" --ka2 0.5
[[ $STATUS == 1 && $ERR == "A K-alpha-2 ratio needs a wavelength" ]] || fail "--ka2 without a wavelength: status $STATUS, $ERR"
run peaks "$SCAN" --lambda CukBet --ka2 0.5
[[ $STATUS == 1 ]] && grep -q 'No K-alpha-2 line is known for the wavelength 1.39222' "$WORK/err" || fail "--ka2 for Kbeta: status $STATUS, $ERR"
for bad in "--range 50 20" "--range 10" "--min-significance -1" "--min-significance x" "--ka2 2" "--lambda blue" \
           "--format report" "--theta 5 40" "$SCAN"; do
  # shellcheck disable=SC2086
  run peaks "$SCAN" $bad
  [[ $STATUS == 2 ]] || fail "peaks $bad: status $STATUS, $ERR"
done

# plot --peaks marks them in the picture; it needs the pattern.
SI=(plot CUBI 227 --cell 5.4309 --lambda CuKa1 --theta 10 50 --2theta)
run "${SI[@]}" --pattern "$SCAN" --peaks --output "$WORK/peaks.png" --size 400x300
[[ $STATUS == 0 && -s $WORK/peaks.png && ! -s $WORK/err ]] || fail "plot --peaks: status $STATUS, $ERR"
run "${SI[@]}" --peaks --output "$WORK/x.png"
[[ $STATUS == 2 && ! -e $WORK/x.png ]] || fail "plot --peaks without --pattern: status $STATUS"
run "${SI[@]}" --pattern "$SCAN" --peaks --min-significance 0 --output "$WORK/x.png"
[[ $STATUS == 2 ]] || fail "plot --min-significance 0: status $STATUS"

if [[ $failed -ne 0 ]]; then exit 1; fi
echo "peaks_cli_test: all passed"
