#!/usr/bin/env bash
# Times tilewright-cli against Debian's metapixel and against the decode
# floor (every library photograph decoded once on all cores), on the same
# library and main picture, and prints wall times, peak memory and ratios.
#
#   bench/run_peer_benchmark.sh [LIBRARY_FOLDER [MAIN_PICTURE]]
#
# Without a folder, 300 photographs of 1600 x 1200 and a 1536 x 1536 main
# picture are generated once and cached in
# ${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench. The release build lives
# in build-bench. Set JOBS to limit the build's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if ! command -v metapixel >/dev/null || ! command -v metapixel-prepare >/dev/null || [ ! -x /usr/bin/time ]; then
  bash scripts/install-deps.sh --bench
fi

build="$repo/build-bench"
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTILEWRIGHT_GUI=OFF -DTILEWRIGHT_TESTS=OFF \
    -DTILEWRIGHT_SAMPLES=OFF -DTILEWRIGHT_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$jobs" --target tilewright-cli make_bench_library decode_floor >/dev/null
cli="$build/bin/tilewright-cli"

# Bump when the generated pictures change, so an old cache is not reused.
cache_version=v1
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench/$cache_version"
if [ $# -ge 1 ]; then
  library=$(cd "$1" && pwd)
  if [ $# -ge 2 ]; then
    main=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
  else
    if [ ! -f "$cache/main.jpg" ]; then
      mkdir -p "$cache"
      "$build/tools/make_bench_library" "$cache" 0 >/dev/null
    fi
    main="$cache/main.jpg"
  fi
else
  if [ ! -f "$cache/complete" ]; then
    echo "Generating the benchmark library in $cache (once)..."
    rm -rf "$cache"
    mkdir -p "$cache"
    "$build/tools/make_bench_library" "$cache" 300
    touch "$cache/complete"
  fi
  library="$cache/library"
  main="$cache/main.jpg"
fi

count=$(find "$library" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) | wc -l)
size=$(du -sh "$library" | cut -f1)
echo "Library: $library ($count JPEG photographs, $size)"
echo "Main picture: $main"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every contestant reads the same files from the page cache.
cat "$library"/* "$main" >/dev/null

# run NAME COMMAND...: runs under /usr/bin/time -v, keeps the report.
run() {
  local name=$1; shift
  if ! /usr/bin/time -v -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err"; then
    echo "$name failed:" >&2
    tail -5 "$work/$name.err" >&2
    exit 1
  fi
}
# Wall seconds and peak resident kilobytes from a /usr/bin/time -v report.
wall() {
  awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, p, ":"); s = 0
      for (i = 1; i <= n; i++) s = s * 60 + p[i]
      printf "%.2f", s }' "$work/$1.time"
}
peak() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/$1.time"; }
mb() { awk -v k="$1" 'BEGIN { printf "%.0f MB", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a + b }'; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { print (a > b ? a : b) }'; }

echo
echo "Running tilewright-cli (48 x 48 cells of 32 x 32 pixels)..."
run ours "$cli" create --main "$main" --library "$library" --cells 48x48 --cell-size 32x32 --out "$work/ours.jpg"

echo "Running metapixel-prepare (32 x 32 tiles)..."
mkdir -p "$work/metapixel-table"
run prepare metapixel-prepare --width=32 --height=32 "$library" "$work/metapixel-table"
echo "Running metapixel --metapixel (32 x 32 tiles)..."
run mosaic metapixel --width=32 --height=32 --library="$work/metapixel-table" --metapixel "$main" "$work/metapixel.png"

echo "Running the decode floor..."
run floor "$build/tools/decode_floor" "$library"

ours_s=$(wall ours); prep_s=$(wall prepare); mosaic_s=$(wall mosaic); floor_s=$(wall floor)
peer_s=$(sum "$prep_s" "$mosaic_s")
ours_k=$(peak ours); prep_k=$(peak prepare); mosaic_k=$(peak mosaic); floor_k=$(peak floor)
peer_k=$(max "$prep_k" "$mosaic_k")

echo
printf '%-34s %10s %12s\n' "" "wall (s)" "peak memory"
printf '%-34s %10s %12s\n' "tilewright-cli create" "$ours_s" "$(mb "$ours_k")"
printf '%-34s %10s %12s\n' "metapixel end to end" "$peer_s" "$(mb "$peer_k")"
printf '%-34s %10s %12s\n' "  metapixel-prepare" "$prep_s" "$(mb "$prep_k")"
printf '%-34s %10s %12s\n' "  metapixel --metapixel" "$mosaic_s" "$(mb "$mosaic_k")"
printf '%-34s %10s %12s\n' "decode floor ($(nproc) threads)" "$floor_s" "$(mb "$floor_k")"
echo
echo "tilewright-cli / metapixel:    $(ratio "$ours_s" "$peer_s")  (metapixel takes $(ratio "$peer_s" "$ours_s") times as long; aim: at least 5)"
echo "tilewright-cli / decode floor: $(ratio "$ours_s" "$floor_s")  (aim: at most 2.5)"
echo "Outputs were in $work (removed on exit)."
