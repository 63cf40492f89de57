#!/usr/bin/env bash
# obrin-cli pattern and plot as a script uses them: the points and wavelength read, the
# pictures written at their size (from a CIF too, with the simulated profile), the refusals with
# their exit statuses, and obrin-cli still free of Qt and of the pattern readers (plot and
# pattern run obrin-plot beside it).
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
# The width and height of a PNG file, from its IHDR chunk.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }

printf '# scan\nangle;counts\n10;5\n10.5;6.25\n11;7\n' >"$WORK/scan.csv"
run pattern "$WORK/scan.csv"
[[ $STATUS == 0 && $(cat "$WORK/out") == $'2theta\tintensity\n10\t5\n10.5\t6.25\n11\t7' ]] || fail "pattern tsv: $(cat "$WORK/out" "$WORK/err")"

cat >"$WORK/scan.uxd" <<'UXD'
_WL1=1.54056
_WL2=1.54439
_WLRATIO=0.5
_DRIVE=COUPLED
_START=20
_STEPSIZE=0.5
_COUNTS
1 2 3
UXD
run pattern "$WORK/scan.uxd" --format json
grep -q '"wavelength": {"kAlpha1": 1.54056, "kAlpha2": 1.54439, "ratio": 0.5}' "$WORK/out" || fail "pattern json wavelength: $(cat "$WORK/out")"
grep -q '\[21, 3\]' "$WORK/out" || fail "pattern json points: $(cat "$WORK/out")"

# A file of two overlapping 2theta scans: a choice, named with --scan; a phi scan beside them is
# left out with a note on the error output.
scan() { printf '<scan scanAxis="%s"><dataPoints><positions axis="2Theta">%s</positions><intensities>1 2 3</intensities></dataPoints></scan>' "$1" "$2"; }
{
  printf '<?xml version="1.0"?><xrdMeasurements><xrdMeasurement>'
  scan Gonio '<startPosition>20</startPosition><endPosition>22</endPosition>'
  scan Gonio '<startPosition>21</startPosition><endPosition>23</endPosition>'
  scan Phi '<commonPosition>30</commonPosition>'
  printf '</xrdMeasurement></xrdMeasurements>\n'
} >"$WORK/two.xrdml"
run pattern "$WORK/two.xrdml"
[[ $STATUS == 1 ]] && grep -q 'its 2 scans overlap; choose one with --scan N' "$WORK/err" && grep -q '2: 2θ 21 to 23°, 3 points' "$WORK/err" ||
  fail "overlapping scans: status $STATUS, $(cat "$WORK/err")"
run pattern "$WORK/two.xrdml" --scan 2 --format json
[[ $STATUS == 0 ]] && grep -q '"format": "xrdml"' "$WORK/out" && grep -q '"scans": 2,' "$WORK/out" && grep -q '"scan": 2,' "$WORK/out" &&
  grep -q '\[23, 3\]' "$WORK/out" && grep -q '1 scan along Phi left out' "$WORK/err" || fail "pattern --scan 2: status $STATUS, $(cat "$WORK/out" "$WORK/err")"
for bad in 0 -1 x 1.5; do
  run pattern "$WORK/two.xrdml" --scan "$bad"
  [[ $STATUS == 2 ]] || fail "pattern --scan $bad: status $STATUS"
done
run pattern "$WORK/two.xrdml" --scan 4
[[ $STATUS == 1 ]] && grep -q 'no scan 4 (it holds 2 scans)' "$WORK/err" || fail "pattern --scan 4: status $STATUS, $(cat "$WORK/err")"
run pattern "$WORK/scan.csv" --format json
grep -q '"format": "columns",' "$WORK/out" && grep -q '"scan": null,' "$WORK/out" || fail "pattern json format: $(cat "$WORK/out")"

printf '10 5\n10.5 x\n' >"$WORK/bad.xy"
run pattern "$WORK/bad.xy"
[[ $STATUS == 1 ]] && grep -q 'bad.xy".*line 2' "$WORK/err" || fail "bad pattern: status $STATUS, $(cat "$WORK/err")"
run pattern "$WORK/scan.csv" --format list
[[ $STATUS == 2 ]] || fail "pattern --format list: status $STATUS"

SI=(plot CUBI 227 --cell 5.4309 --lambda CuKa1 --theta 10 70 --2theta)
run "${SI[@]}" --pattern "$SRC/doc/silicon-scan.xy" --ka2 0.5 --zero 0.05 --axis q --output "$WORK/si.png" --size 640x480
[[ $STATUS == 0 && $(png_size "$WORK/si.png") == 640x480 ]] || fail "plot png: status $STATUS, $(cat "$WORK/err")"
[[ ! -s $WORK/err ]] || fail "plot png printed: $(cat "$WORK/err")"
run "${SI[@]}" --output "$WORK/si.pdf"
[[ $STATUS == 0 && $(head -c 4 "$WORK/si.pdf") == "%PDF" ]] || fail "plot pdf: status $STATUS, $(cat "$WORK/err")"

for bad in "--output $WORK/si.svg" "--output $WORK/x.png --size 50x50" "--output $WORK/x.png --axis two" \
           "--output $WORK/x.png --ka2 2"; do
  # shellcheck disable=SC2086
  run "${SI[@]}" $bad
  [[ $STATUS == 2 ]] || fail "plot $bad: status $STATUS"
done
run "${SI[@]}" --pattern "$WORK/two.xrdml" --output "$WORK/y.png"
[[ $STATUS == 1 && ! -e $WORK/y.png ]] && grep -q 'choose one with --scan N' "$WORK/err" || fail "plot of overlapping scans: status $STATUS"
run "${SI[@]}" --pattern "$WORK/two.xrdml" --scan 1 --output "$WORK/y.png"
[[ $STATUS == 0 && -s $WORK/y.png ]] || fail "plot --scan 1: status $STATUS, $(cat "$WORK/err")"
rm -f "$WORK/y.png"
run "${SI[@]}" --scan 1 --output "$WORK/y.png"
[[ $STATUS == 2 ]] || fail "plot --scan without --pattern: status $STATUS"
run "${SI[@]}" --pattern "$WORK/bad.xy" --output "$WORK/y.png"
[[ $STATUS == 1 && ! -e $WORK/y.png ]] && grep -q 'line 2' "$WORK/err" || fail "plot with a bad pattern: status $STATUS"
# Six cell values must keep the system's ties, as for powder: no cubic symmetry on another cell.
run plot CUBI 227 --cell 5 5 6 90 90 90 --lambda CuKa1 --output "$WORK/z.png"
[[ $STATUS == 1 && ! -e $WORK/z.png ]] && grep -q 'does not keep the ties of the CUBI' "$WORK/err" || fail "plot with a cell off its system: status $STATUS"
run plot CUBI 227 --cell 5.4309 --lambda 1.0 --ka2 0.5 --output "$WORK/z.png"
[[ $STATUS == 1 ]] || fail "plot --ka2 without a Ka2 line: status $STATUS"
# The file's Kα2 goes only with the file's Kα1: at 0.4 Å over a Cu scan there is no companion.
run plot CUBI 227 --cell 5.4309 --lambda 0.4 --pattern "$WORK/scan.uxd" --ka2 0.5 --output "$WORK/z.png"
[[ $STATUS == 1 && ! -e $WORK/z.png && $ERR == "No K-alpha-2 line is known for the wavelength 0.4" ]] ||
  fail "plot --ka2 at another wavelength than the file's: status $STATUS, $ERR"
run plot CUBI 227 --cell 5.4309 --lambda CuKa1 --pattern "$WORK/scan.uxd" --ka2 0.5 --output "$WORK/z.png"
[[ $STATUS == 0 ]] || fail "plot --ka2 at the file's wavelength: status $STATUS, $ERR"

# A picture is written whole or not at all, and a failure names the file and the reason: a full
# device, or a write that stops part way (a file-size limit stands for a full disk).
if [[ -c /dev/full ]]; then
  ln -s /dev/full "$WORK/full.png"
  run "${SI[@]}" --output "$WORK/full.png"
  [[ $STATUS == 1 && $ERR == "Cannot write full.png: No space left on device" ]] || fail "plot to /dev/full: status $STATUS, $ERR"
  [[ -c /dev/full ]] || fail "plot replaced /dev/full"
fi
cp "$WORK/si.png" "$WORK/before.png"
set +e
(trap '' XFSZ; ulimit -f 4; exec "$CLI" "${SI[@]}" --output "$WORK/si.png" --size 2000x1500) >"$WORK/out" 2>"$WORK/err"
STATUS=$?
set -e
[[ $STATUS == 1 && $(cat "$WORK/err") == "Cannot write si.png: File too large" ]] ||
  fail "plot stopped part way: status $STATUS, $(cat "$WORK/err")"
cmp -s "$WORK/si.png" "$WORK/before.png" || fail "plot stopped part way changed the previous picture"
if ls "$WORK"/si.png.*.tmp >/dev/null 2>&1; then fail "plot stopped part way left a temporary file"; fi

# plot from a CIF: the file gives system, group and cell, a SYSTEM after it replaces the file's
# with its ties checked; the profile is drawn, or refused by name where a line has no width.
# The file leaves the import nothing to decide (origin, elements): it writes no note.
printf '%s\n' data_Si '_cell_length_a 5.43088' '_cell_length_b 5.43088' '_cell_length_c 5.43088' \
  '_cell_angle_alpha 90' '_cell_angle_beta 90' '_cell_angle_gamma 90' "_symmetry_space_group_name_H-M 'F d -3 m:1'" \
  loop_ _atom_site_label _atom_site_type_symbol _atom_site_fract_x _atom_site_fract_y _atom_site_fract_z \
  'Si1 Si 0 0 0' >"$WORK/si.cif"
CIF=(plot --cif "$WORK/si.cif" --lambda CuKa1 --theta 10 70 --2theta)
run "${CIF[@]}" --profile 0.004 -0.002 0.006 --monochromator 26.6 --ka2 0.5 --output "$WORK/cif.png"
[[ $STATUS == 0 && $(png_size "$WORK/cif.png") == 1000x600 && ! -s $WORK/err ]] || fail "plot --cif: status $STATUS, $(cat "$WORK/err")"
run "${CIF[@]}" --profile 0 0 -0.01 --output "$WORK/w.png"
[[ $STATUS == 1 && ! -e $WORK/w.png ]] && grep -q '2θ = 28.442°.*not above 0' "$WORK/err" || fail "profile without a width: status $STATUS, $(cat "$WORK/err")"
run "${CIF[@]}" HEXA --output "$WORK/w.png"
[[ $STATUS == 1 ]] && grep -q 'does not keep the ties of the HEXA' "$WORK/err" || fail "plot --cif HEXA: status $STATUS, $(cat "$WORK/err")"
run "${CIF[@]}" --monochromator 180 --output "$WORK/w.png"
[[ $STATUS == 1 ]] && grep -q 'Error on monochromator angle' "$WORK/err" || fail "plot --monochromator 180: status $STATUS"
run "${CIF[@]}" --profile 1 2 --output "$WORK/w.png"
[[ $STATUS == 2 ]] || fail "plot --profile 1 2: status $STATUS"
run "${SI[@]}" --block Si --output "$WORK/w.png"
[[ $STATUS == 2 ]] || fail "plot --block without --cif: status $STATUS"

if command -v ldd >/dev/null && ldd "$CLI" | grep -Eqi 'libQt|libxy|pugixml|libzip|libz\.so|libbz2'; then fail "obrin-cli loads Qt or a pattern reader"; fi
# Points that cannot be written are a failure, whichever program reads them.
if [[ -w /dev/full ]]; then
  set +e
  err=$("$CLI" pattern "$WORK/scan.csv" 2>&1 >/dev/full)
  STATUS=$?
  set -e
  [[ $STATUS == 1 && $err == "Cannot write the output: No space left on device" ]] || fail "pattern > /dev/full: status $STATUS, $err"
fi

if [[ $failed -ne 0 ]]; then exit 1; fi
echo "pattern_cli_test: all passed"
