#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR as a package would (prefix /usr) and runs the
# installed programs from there: they must answer --version, find their position files with no
# help from the environment and list what the build lists. Checks that the installed tree holds
# the desktop entry, icon, AppStream file, MIME type and manual pages, and that they agree with
# each other and pass the freedesktop validators.
# Arguments: the source directory, the directory of the built programs (bin/ of the build).
set -euo pipefail

SRC=$(cd "${1:?source directory}" && pwd)
BIN=${2:?directory of the built programs}
BIN=$(cd "$BIN" && pwd)
BUILD=$(dirname "$BIN")
if [[ ! -f $BUILD/cmake_install.cmake || ! -x $BIN/obrin-cli || ! -x $BIN/obrin ]]; then
  echo "no complete build with both programs in $BUILD: skipped"
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"

ROOT=$WORK/root
if ! DESTDIR=$ROOT cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" 2>&1; then
  cat "$WORK/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
USR=$ROOT/usr
ID=org.obrin.Obrin

# ---- The installed tree ------------------------------------------------------------------------

expected=(bin/obrin bin/obrin-cli bin/obrin-plot
          share/applications/$ID.desktop share/icons/hicolor/scalable/apps/$ID.svg
          share/metainfo/$ID.metainfo.xml share/mime/packages/$ID.xml
          share/doc/obrin/copyright)
for f in "${expected[@]}"; do
  [[ -f $USR/$f ]] || fail "not installed: $f"
done
for page in obrin obrin-cli obrin-plot; do
  [[ -f $USR/share/man/man1/$page.1.gz || -f $USR/share/man/man1/$page.1 ]] || fail "no manual page $page.1"
done
for pos in "$SRC"/data/*.pos; do
  cmp -s "$pos" "$USR/share/obrin/data/$(basename "$pos")" || fail "position file $(basename "$pos") not installed as it is"
done

# ---- The installed programs, run away from the build and the sources ---------------------------

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[[ -n $version ]] || fail "no project version in the build's cache"
mkdir "$WORK/elsewhere"
cd "$WORK/elsewhere"
# With no display at all: the window programs must answer without starting the window toolkit.
# Each names its version and its licence.
for program in obrin-cli obrin obrin-plot; do
  out=$(env -i PATH=/usr/bin:/bin "$USR/bin/$program" --version 2>&1) || fail "$program --version failed: $out"
  [[ $(head -n 1 <<<"$out") == "$program $version" ]] ||
    fail "$program --version printed '$(head -n 1 <<<"$out")', expected '$program $version'"
  grep -q '^License GPL-3.0-or-later: GNU GPL version 3 or later' <<<"$out" || fail "$program --version names no licence: $out"
done

powder=(powder CUBI 225 --cell 4.05 --lambda CuKa1 --theta 5 60)
expected_list=$("$BIN/obrin-cli" "${powder[@]}")
if installed_list=$(env -i PATH=/usr/bin:/bin "$USR/bin/obrin-cli" "${powder[@]}" 2>&1); then
  [[ $installed_list == "$expected_list" ]] || fail "the installed obrin-cli lists otherwise than the build:
$(diff <(echo "$expected_list") <(echo "$installed_list"))"
else
  fail "the installed obrin-cli did not find its data: $installed_list"
fi
cd "$WORK"

# ---- Licence: GPL-3.0-or-later everywhere it is stated -----------------------------------------

cmp -s "$SRC/LICENSE" /usr/share/common-licenses/GPL-3 2>/dev/null || [[ ! -f /usr/share/common-licenses/GPL-3 ]] ||
  fail "LICENSE is not the text of the GNU GPL version 3"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$SRC/LICENSE" 2>/dev/null || fail "no LICENSE with the GPL's text at the top of the sources"
copyright=$USR/share/doc/obrin/copyright
grep -q '^License: GPL-3.0-or-later$' "$copyright" || fail "the copyright file does not state GPL-3.0-or-later"
if grep -qi 'all rights reserved\|proprietary' "$copyright"; then fail "the copyright file still reserves all rights"; fi
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$USR/share/metainfo/$ID.metainfo.xml" ||
  fail "the AppStream file does not state GPL-3.0-or-later"

# What the program does beyond the line list is described where users look for it.
window_manual=$WORK/obrin.1
if [[ -f $USR/share/man/man1/obrin.1.gz ]]; then gzip -dc "$USR/share/man/man1/obrin.1.gz" >"$window_manual"
else cp "$USR/share/man/man1/obrin.1" "$window_manual"; fi
for described in "$window_manual" "$USR/share/metainfo/$ID.metainfo.xml"; do
  for topic in CIF intensit 'Pattern window'; do
    grep -q "$topic" "$described" || fail "$(basename "$described") does not mention '$topic'"
  done
done

# ---- Desktop integration ----------------------------------------------------------------------

desktop=$USR/share/applications/$ID.desktop
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f $USR/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "the menu entry's icon '$icon' is not installed"
mime=$(sed -n 's/^MimeType=\([^;]*\);.*/\1/p' "$desktop")
grep -q "<mime-type type=\"$mime\">" "$USR/share/mime/packages/$ID.xml" ||
  fail "the menu entry's type '$mime' is not the one the MIME package defines"
grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$USR/share/metainfo/$ID.metainfo.xml" ||
  fail "the AppStream file does not launch $ID.desktop"

validate() {  # NAME COMMAND...: run a validator; its absence is a failure, as is any error.
  local name=$1
  shift
  if ! command -v "$1" >/dev/null; then
    fail "$1 is not installed (Debian package $name)"
  elif ! "$@" >"$WORK/validate.log" 2>&1; then
    fail "$* found errors:"
    cat "$WORK/validate.log"
  fi
}
validate desktop-file-utils desktop-file-validate "$desktop"
validate appstream appstreamcli validate --no-net "$USR/share/metainfo/$ID.metainfo.xml"
# The MIME database built from the installed package maps *.ind files to the cell-file type.
if command -v update-mime-database >/dev/null; then
  cp -r "$USR/share/mime" "$WORK/mime"
  update-mime-database "$WORK/mime" >/dev/null 2>&1 || fail "update-mime-database refused the MIME package"
  grep -q "$mime:\*\.ind" "$WORK/mime/globs2" 2>/dev/null || fail "*.ind is not mapped to $mime"
fi

# ---- The manual page of obrin-cli covers every option --help lists ----------------------------

manual=$WORK/obrin-cli.1
if [[ -f $USR/share/man/man1/obrin-cli.1.gz ]]; then gzip -dc "$USR/share/man/man1/obrin-cli.1.gz" >"$manual"
else cp "$USR/share/man/man1/obrin-cli.1" "$manual"; fi
for option in $("$BIN/obrin-cli" --help | grep -o -- '--[a-z0-9-]*' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$manual" || fail "the manual page of obrin-cli does not document $option"
done
for command in groups conditions powder single bragg; do
  grep -q "^\.B.* $command\b" "$manual" || fail "the manual page of obrin-cli does not document $command"
done

if [[ $failed -ne 0 ]]; then
  echo "$failed failures"
  exit 1
fi
echo "installed tree, installed programs and desktop files: all good"
