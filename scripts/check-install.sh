#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks it as a user would
# meet it: the files in their usual places, the desktop entry and AppStream
# data valid, the manual pages readable, the help document holding the help,
# tilewright-cli making a mosaic from the installed samples, and the desktop
# program starting (offscreen) and ending cleanly on a stop signal. Then the
# Debian package is built and its contents and dependencies checked. Nothing
# outside the temporary folder is written (the user's settings and data
# folders are redirected there).
#
#   scripts/check-install.sh [BUILD_FOLDER]     (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

work=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill -KILL "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-install: $*" >&2; exit 1; }
step() { echo "check-install: $*"; }

prefix=$work/prefix
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache \
  XDG_RUNTIME_DIR=$work/runtime \
  QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

step "installing into a temporary prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

step "checking the installed tree"
version=$(sed -n 's/^project(Tilewright VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
app_id=example.tilewright.Tilewright
data=$prefix/share/tilewright
expected=(
  bin/tilewright bin/tilewright-cli
  share/tilewright/help.pdf share/tilewright/DefaultImgList.IL2 share/tilewright/sample-main.jpg
  share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml
  share/icons/hicolor/scalable/apps/tilewright.svg
  share/man/man1/tilewright-cli.1.gz share/man/man1/tilewright.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/tilewright.png")
done
for f in "${expected[@]}"; do
  [ -s "$prefix/$f" ] || fail "missing or empty: $f"
done
for f in bin/tilewright bin/tilewright-cli; do
  [ -x "$prefix/$f" ] || fail "not executable: $f"
done
pictures=$(find "$data/images" -maxdepth 1 -type f \( -name '*.jpg' -o -name '*.bmp' \) | wc -l)
[ "$pictures" -ge 100 ] || fail "only $pictures sample pictures installed"
# Nothing else: no tests, tools or build leftovers in the tree.
actual=$(cd "$prefix" && find . -type f ! -path './share/tilewright/images/*' | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[ "$actual" = "$wanted" ] || fail "unexpected installed files: $(comm -23 <(echo "$actual") <(echo "$wanted") | tr '\n' ' ')"
for size in 16 22 24 32 48 64 128 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/tilewright.png" | grep -q "PNG image data, $size x $size," ||
    fail "icon ${size}x${size} is not a PNG of that size"
done
# The template lists the installed pictures by their final paths, as the
# program writes its default list (sorted without regard to case, CR LF).
template=$(tr -d '\r' < "$data/DefaultImgList.IL2")
listed=$(cd "$data/images" && ls -1 | grep -Ei '\.(jpg|bmp)$' | sort -f | sed "s|^|$data/images/|")
[ "$template" = "$listed" ] || fail "DefaultImgList.IL2 does not list the installed pictures"
[ "$(grep -c $'\r$' "$data/DefaultImgList.IL2")" -eq "$pictures" ] || fail "DefaultImgList.IL2 lines do not end in CR LF"

step "validating the desktop entry, the AppStream data and the manual pages"
desktop-file-validate "$prefix/share/applications/$app_id.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$app_id.metainfo.xml" || fail "metainfo lacks release $version"
for page in tilewright-cli tilewright; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "manual page $page: $warnings"
done
MANPATH=$prefix/share/man man -w tilewright-cli >/dev/null || fail "man does not find tilewright-cli"
MANWIDTH=80 MANPATH=$prefix/share/man man tilewright-cli 2>/dev/null | grep -q -- '--border-color' ||
  fail "the manual page lacks the create options"

step "checking the help document"
help_text=$(pdftotext -layout "$data/help.pdf" -)
pages=$(pdfinfo "$data/help.pdf" | sed -n 's/^Pages: *//p')
[ "$pages" -ge 2 ] || fail "help.pdf has $pages pages"
for phrase in "Tilewright Help" "The picture library" "tilewright-cli create" "page 1 of $pages" "page $pages of $pages"; do
  grep -qF -- "$phrase" <<<"$help_text" || fail "help.pdf lacks \"$phrase\""
done
pdffonts "$data/help.pdf" | awk 'NR > 2 && $(NF-4) != "yes" { bad = 1 } END { exit bad }' ||
  fail "help.pdf has fonts that are not embedded"

step "running tilewright-cli from the installed copy"
"$prefix/bin/tilewright-cli" --version | grep -qx "tilewright-cli $version" || fail "tilewright-cli --version"
# These two answer without a display.
env -u QT_QPA_PLATFORM DISPLAY= "$prefix/bin/tilewright" --version | grep -qx "tilewright $version" || fail "tilewright --version"
env -u QT_QPA_PLATFORM DISPLAY= "$prefix/bin/tilewright" --help | grep -q "^Usage: tilewright" || fail "tilewright --help"
before=$(cd "$prefix" && find . -type f -exec md5sum {} + | sort)
cli() { "$prefix/bin/tilewright-cli" "$@" >"$work/cli.log" 2>&1 || { cat "$work/cli.log" >&2; fail "tilewright-cli $*"; }; }
cli create --main "$data/sample-main.jpg" --cells 16x12 --cell-size 8x8 --out "$work/mosaic.jpg"
file "$work/mosaic.jpg" | grep -q 'JPEG image data.*, 128x96,' || fail "the mosaic is not a 128 x 96 JPEG"
# The analysis cache went to the user's cache folder and holds the library.
cli cache info
grep -q "^Analysis cache: $XDG_CACHE_HOME/tilewright/analysis-cache.sqlite\$" "$work/cli.log" &&
  grep -q '^Entries: [1-9]' "$work/cli.log" || { cat "$work/cli.log" >&2; fail "the analysis cache was not filled"; }
# The shipped template was read; nothing was written, neither in the
# installed tree nor in the user's folder.
[ ! -e "$XDG_DATA_HOME/tilewright" ] || fail "reading the template wrote the user's folder"
# Without the template the program rebuilds the list from the installed
# pictures and keeps it in the user's folder: the same text as the template.
mv "$data/DefaultImgList.IL2" "$work/template.IL2"
cli create --main "$data/sample-main.jpg" --cells 8x6 --cell-size 8x8 --out "$work/mosaic2.bmp"
cmp -s "$work/template.IL2" "$XDG_DATA_HOME/tilewright/DefaultImgList.IL2" ||
  fail "the rebuilt default list differs from the installed template"
mv "$work/template.IL2" "$data/DefaultImgList.IL2"
after=$(cd "$prefix" && find . -type f -exec md5sum {} + | sort)
[ "$before" = "$after" ] || fail "running the program changed the installed tree"

step "starting the desktop program from the installed copy (offscreen)"
"$prefix/bin/tilewright" >"$work/app.log" 2>&1 &
app_pid=$!
# Wait until the windowing layer is loaded, then ask it to stop as a session
# would at logout.
for _ in $(seq 1 200); do
  grep -q libqoffscreen "/proc/$app_pid/maps" 2>/dev/null && break
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.05
done
sleep 0.5
kill -TERM "$app_pid" 2>/dev/null || true
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || { cat "$work/app.log" >&2; fail "tilewright ended with status $status after SIGTERM"; }
# It showed its main window and remembered its place on closing.
grep -q '^\[windows\]' "$XDG_CONFIG_HOME/tilewright/tilewright.conf" 2>/dev/null &&
  grep -q '^TForm1\\geometry=' "$XDG_CONFIG_HOME/tilewright/tilewright.conf" ||
  { cat "$XDG_CONFIG_HOME/tilewright/tilewright.conf" "$work/app.log" >&2 || true; fail "the main window's place was not saved on closing"; }
after=$(cd "$prefix" && find . -type f -exec md5sum {} + | sort)
[ "$before" = "$after" ] || fail "the desktop program changed the installed tree"

step "building the Debian package"
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/tilewright_"$version"_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libsqlite3-0 libc6; do
  grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib ($depends)"
done
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for f in ./usr/bin/tilewright ./usr/bin/tilewright-cli ./usr/share/tilewright/DefaultImgList.IL2 \
         ./usr/share/applications/$app_id.desktop ./usr/share/man/man1/tilewright-cli.1.gz; do
  grep -qx -- "$f" <<<"$contents" || fail "the package lacks $f"
done
mkdir "$work/unpacked" && dpkg-deb -x "$deb" "$work/unpacked"
head -n 1 "$work/unpacked/usr/share/tilewright/DefaultImgList.IL2" | grep -q '^/usr/share/tilewright/images/' ||
  fail "the package's default list does not name /usr/share/tilewright/images"

step "all checks passed"
