#!/usr/bin/env bash
# Big grids with tilewright-cli: the matching stage against the library
# stage at 400 x 400 cells with 400 photographs, and the peak memory of
# whole creations of 48-pixel cells against the mosaic's size and against
# the estimate of the memory check.
#
#   bench/run_big_grid_benchmark.sh [LIBRARY_FOLDER [MAIN_PICTURE]]
#
# Without a folder, 400 photographs of 1600 x 1200 and a 1536 x 1536 main
# picture are generated once and cached in
# ${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench/big-v1. Settings:
#   SIZES     cells per side of the memory runs (default "100 200 400 800";
#             a size whose estimate exceeds the available memory is skipped)
#   REPEAT    runs of the matching measurement (default 3)
#   BASELINE  another tilewright-cli to measure in the same runs, interleaved
#   BUILD     an existing release build folder (default build-bench, built here)
#   JOBS      parallel jobs of the build
#   HUGE      1 (default) or 0: the creation of 800 x 800 cells of 16 pixels
#             with 10,000 photographs, timed stage by stage
#   HUGE_LIBRARY  its library (default: 10,000 generated photographs of
#             800 x 600, made once in .../tilewright-bench/huge-v1, about 1 GB)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if [ ! -x /usr/bin/time ]; then
  bash scripts/install-deps.sh --bench
fi

build=${BUILD:-$repo/build-bench}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTILEWRIGHT_GUI=OFF -DTILEWRIGHT_TESTS=OFF \
    -DTILEWRIGHT_SAMPLES=OFF -DTILEWRIGHT_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$jobs" --target tilewright-cli make_bench_library creation_estimate >/dev/null
cli="$build/bin/tilewright-cli"
estimator="$build/tools/creation_estimate"
baseline=${BASELINE:-}

# Bump when the generated pictures change, so an old cache is not reused.
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench/big-v1"
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
    "$build/tools/make_bench_library" "$cache" 400
    touch "$cache/complete"
  fi
  library="$cache/library"
  main="$cache/main.jpg"
fi

count=$(find "$library" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) | wc -l)
echo "Library: $library ($count JPEG photographs)"
echo "Main picture: $main"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)"
echo "Load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat "$library"/* "$main" >/dev/null

# timed NAME CLI ARGS...: runs CLI create under /usr/bin/time -v with every
# progress line stamped with the time it arrived.
timed() {
  local name=$1 program=$2; shift 2
  # Each of our creations analyses the whole library: the analysis cache
  # would turn the library stage into lookups. (A baseline may predate it.)
  local no_cache=()
  [ "$program" = "$cli" ] && no_cache=(--no-cache)
  if ! /usr/bin/time -v -o "$work/$name.time" "$program" create --main "$main" --library "${use_library:-$library}" \
      "${no_cache[@]}" "$@" \
      --out "$work/$name.jpg" >/dev/null \
      2> >(while IFS= read -r line; do printf '%s %s\n' "$(date +%s.%N)" "$line"; done >"$work/$name.log"); then
    echo "$name failed:" >&2
    tail -5 "$work/$name.log" >&2
    exit 1
  fi
  sleep 0.2  # the stamping loop finishes its last line
  rm -f "$work/$name.jpg"
}
# stage NAME LABEL: seconds from the label's first line to the next label's.
stage() {
  awk -v want="Current Job : $2" '
    / Current Job : / { t = $1; sub(/^[0-9.]+ /, ""); sub(/ [0-9]+%$/, "")
                        if ($0 != label) { if (label == want) end = t; if ($0 == want) start = t; label = $0 } }
    END { printf "%.2f", end - start }' "$work/$1.log"
}
peak() { awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 * 1024 }' "$work/$1.time"; }
elapsed() {
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]
                                          printf "%.1f", s }' "$work/$1.time"
}
mb() { awk -v b="$1" 'BEGIN { printf "%.0f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo
echo "Matching at 400 x 400 cells of 16 pixels with $count photographs (the aim: at most half the library stage)"
printf '%-12s %4s %12s %12s %8s\n' "" "run" "library (s)" "matching (s)" "ratio"
contestants="ours"
[ -n "$baseline" ] && contestants="ours baseline"
declare -A ratios
for r in $(seq 1 "${REPEAT:-3}"); do
  for who in $contestants; do
    program=$cli
    [ "$who" = baseline ] && program=$baseline
    timed "match-$who-$r" "$program" --cells 400x400 --cell-size 16x16
    lib=$(stage "match-$who-$r" "Cell Pic Lib")
    mat=$(stage "match-$who-$r" "Mosaic Mapping Table")
    ratios[$who]="${ratios[$who]:-} $(ratio "$mat" "$lib")"
    printf '%-12s %4s %12s %12s %8s\n' "$who" "$r" "$lib" "$mat" "$(ratio "$mat" "$lib")"
  done
done
for who in $contestants; do
  echo "median matching / library stage, $who: $(echo "${ratios[$who]}" | median)"
done

available=$(awk '/MemAvailable/ { printf "%.0f", $2 * 1024 }' /proc/meminfo)
budget=$(awk -v a="$available" 'BEGIN { c = 2 * 1073741824; q = a / 4; printf "%.0f", (q < c ? q : c) }')
echo
echo "Peak memory of whole creations, cells of 48 pixels, JPEG output (photograph cache budget: $(mb "$budget") MB;"
echo "the aim: peak <= mosaic + budget + 150 MB, and the check's estimate within 15% of the peak)"
printf '%-12s %8s %11s %9s %10s %11s %13s %10s\n' "" "cells" "mosaic MB" "peak MB" "peak-mos" "peak/mos" "estimate MB" "est/peak"
for n in ${SIZES:-100 200 400 800}; do
  estimate=$("$estimator" create --main "$main" --library "$library" --cells "${n}x${n}" --cell-size 48x48 \
    --out "$work/x.jpg" | awk '/^estimate/ { print $2 }')
  if [ "$estimate" -gt "$available" ]; then
    echo "$n x $n: skipped, the estimate of $(mb "$estimate") MB exceeds the $(mb "$available") MB available"
    continue
  fi
  mosaic=$((n * 48 * n * 48 * 3))
  for who in $contestants; do
    program=$cli
    [ "$who" = baseline ] && program=$baseline
    timed "mem-$who-$n" "$program" --cells "${n}x${n}" --cell-size 48x48
    p=$(peak "mem-$who-$n")
    est="$(mb "$estimate")" against="$(ratio "$estimate" "$p")"
    [ "$who" = baseline ] && est="-" against="-"  # the estimate is ours
    printf '%-12s %8s %11s %9s %10s %11s %13s %10s\n' "$who" "${n}x${n}" "$(mb "$mosaic")" "$(mb "$p")" \
      "$(mb $((p - mosaic)))" "$(ratio "$p" "$mosaic")" "$est" "$against"
  done
done

if [ "${HUGE:-1}" != 0 ]; then
  if [ -n "${HUGE_LIBRARY:-}" ]; then
    use_library=$(cd "$HUGE_LIBRARY" && pwd)
  else
    huge="${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench/huge-v1"
    if [ ! -f "$huge/complete" ]; then
      echo
      echo "Generating 10,000 photographs of 800 x 600 in $huge (once)..."
      rm -rf "$huge"
      mkdir -p "$huge"
      "$build/tools/make_bench_library" "$huge" 10000 800x600
      touch "$huge/complete"
    fi
    use_library="$huge/library"
  fi
  huge_count=$(find "$use_library" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) | wc -l)
  cat "$use_library"/* >/dev/null
  echo
  echo "800 x 800 cells of 16 pixels with $huge_count photographs, JPEG output (load $(cut -d' ' -f1 /proc/loadavg))"
  timed huge "$cli" --cells 800x800 --cell-size 16x16
  mosaic=$((800 * 16 * 800 * 16 * 3))
  p=$(peak huge)
  printf '  whole creation %8s s   library stage %8s s   matching %8s s   rendering %8s s\n' "$(elapsed huge)" \
    "$(stage huge "Cell Pic Lib")" "$(stage huge "Mosaic Mapping Table")" "$(stage huge "OutPut Final Mosaic Picture")"
  printf '  mosaic %s MB, peak %s MB (peak - mosaic %s MB)\n' "$(mb "$mosaic")" "$(mb "$p")" "$(mb $((p - mosaic)))"
  unset use_library
fi

echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
