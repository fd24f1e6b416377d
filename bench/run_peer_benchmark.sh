#!/usr/bin/env bash
# Times a first creation with tilewright-cli against the decode floor
# (libjpeg-turbo alone decoding every library photograph once on all cores)
# and against Debian's metapixel, on the same library and main picture; and
# repeat creations drawing on the analysis cache, with the same settings and
# with only matching settings changed, against the same floor. Ours and the
# floor run interleaved, several times, so that other load on the machine
# touches all alike; the load average is printed with every run. The
# analysis cache lives in a temporary folder: a first creation starts with
# an empty one, the repeats with one the first creation filled.
#
#   bench/run_peer_benchmark.sh [LIBRARY_FOLDER [MAIN_PICTURE]]
#
# Without a folder the library is 400 real photographs cut from Debian's
# desktop background packages (bench/make_photo_library.sh, cached in
# ${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench/photos-v1); when those
# packages are missing, 300 generated photograph-like pictures instead.
# REPS sets the repetitions (default 3); METAPIXEL=0 leaves metapixel out;
# JOBS limits the build's parallel jobs. The release build lives in
# build-bench (BUILD: an existing release build folder instead).
#
# Then, on the same library, bench/run_big_grid_benchmark.sh gives the
# matching stage against the library stage at 400 x 400 cells and the peak
# memory of creations against their mosaic's size (BIG_SIZES, default
# "100 200 400" cells per side; BIG_GRIDS=0 leaves it out).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if ! command -v metapixel >/dev/null || ! command -v metapixel-prepare >/dev/null || [ ! -x /usr/bin/time ] ||
  ! command -v convert >/dev/null; then
  bash scripts/install-deps.sh --bench
fi

build=${BUILD:-$repo/build-bench}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
reps=${REPS:-3}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTILEWRIGHT_GUI=OFF -DTILEWRIGHT_TESTS=OFF \
    -DTILEWRIGHT_SAMPLES=OFF -DTILEWRIGHT_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$jobs" --target tilewright-cli make_bench_library decode_floor >/dev/null
cli="$build/bin/tilewright-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/tilewright-bench"
if [ $# -ge 1 ]; then
  library=$(cd "$1" && pwd)
  if [ $# -ge 2 ]; then
    main=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
  else
    if [ ! -f "$cache_root/v1/main.jpg" ]; then
      mkdir -p "$cache_root/v1"
      "$build/tools/make_bench_library" "$cache_root/v1" 0 >/dev/null
    fi
    main="$cache_root/v1/main.jpg"
  fi
elif bash bench/make_photo_library.sh "$cache_root/photos-v1" 400 >/dev/null 2>"$work/photos.err"; then
  library="$cache_root/photos-v1/library"
  main="$cache_root/photos-v1/main.jpg"
else
  cat "$work/photos.err" >&2
  echo "Falling back to generated pictures." >&2
  cache="$cache_root/v1"
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

# Every contestant reads the same files from the page cache.
cat "$library"/* "$main" >/dev/null

# run NAME COMMAND...: runs under /usr/bin/time, appends "wall cpu peak load".
run() {
  local name=$1; shift
  local load
  load=$(cut -d' ' -f1 /proc/loadavg)
  if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$work/$name.out" 2>"$work/$name.err"; then
    echo "$name failed:" >&2
    tail -5 "$work/$name.err" >&2
    exit 1
  fi
  awk -v load="$load" '{ printf "%s %.2f %s %s\n", $1, $2 + $3, $4, load }' "$work/time" >>"$work/$name.runs"
  printf '  %-10s wall %6.2f s   load %s\n' "$name" "$(cut -d' ' -f1 "$work/time")" "$load"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_median() { awk -v c="$2" '{ print $c }' "$work/$1.runs" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.0f MB", k / 1024 }'; }

create=(create --main "$main" --library "$library" --cells 48x48 --cell-size 32x32)
# Only what steers the matching: randomness, radius, repeat limit, use-all,
# flips and enhancement.
matching=(--random 6 --radius 3 --limit-repeat 8 --no-use-all --no-hflip --no-vflip --enhance 35)
filled="$work/cache-filled"
echo
echo "Filling the analysis cache for the repeat creations (once)"
run fill env XDG_CACHE_HOME="$filled" "$cli" "${create[@]}" --out "$work/filled.jpg"
echo
echo "Interleaved runs ($reps each): decode floor, tilewright-cli create (48 x 48 cells of 32 x 32 pixels)"
echo "with an empty analysis cache (first), with the filled one (repeat), and the filled one with other matching settings"
for ((r = 1; r <= reps; r++)); do
  run floor "$build/tools/decode_floor" "$library"
  rm -rf "$work/cache-empty"
  run ours env XDG_CACHE_HOME="$work/cache-empty" "$cli" "${create[@]}" --out "$work/ours.jpg"
  run repeat env XDG_CACHE_HOME="$filled" "$cli" "${create[@]}" --out "$work/repeat.jpg"
  run matching env XDG_CACHE_HOME="$filled" "$cli" "${create[@]}" "${matching[@]}" --out "$work/matching.jpg"
done
# The cache changes nothing in the mosaic.
cmp -s "$work/ours.jpg" "$work/repeat.jpg" || { echo "the repeat creation's mosaic differs from the first's" >&2; exit 1; }
run reference "$cli" "${create[@]}" "${matching[@]}" --no-cache --out "$work/reference.jpg"
cmp -s "$work/matching.jpg" "$work/reference.jpg" ||
  { echo "the cached creation with other matching settings differs from the uncached one" >&2; exit 1; }

if [ "${METAPIXEL:-1}" != 0 ]; then
  echo "metapixel-prepare and metapixel --metapixel (32 x 32 tiles), once"
  mkdir -p "$work/metapixel-table"
  run prepare metapixel-prepare --width=32 --height=32 "$library" "$work/metapixel-table"
  run mosaic metapixel --width=32 --height=32 --library="$work/metapixel-table" --metapixel "$main" "$work/metapixel.png"
fi

floor_s=$(column_median floor 1); ours_s=$(column_median ours 1)
floor_cpu=$(column_median floor 2); ours_cpu=$(column_median ours 2)
echo
printf '%-34s %10s %10s %12s\n' "(medians)" "wall (s)" "cpu (s)" "peak memory"
printf '%-34s %10s %10s %12s\n' "decode floor ($(nproc) threads)" "$floor_s" "$floor_cpu" "$(mb "$(column_median floor 3)")"
repeat_s=$(column_median repeat 1); repeat_cpu=$(column_median repeat 2)
matching_s=$(column_median matching 1); matching_cpu=$(column_median matching 2)
printf '%-34s %10s %10s %12s\n' "tilewright-cli create (first)" "$ours_s" "$ours_cpu" "$(mb "$(column_median ours 3)")"
printf '%-34s %10s %10s %12s\n' "  repeat, same settings" "$repeat_s" "$repeat_cpu" "$(mb "$(column_median repeat 3)")"
printf '%-34s %10s %10s %12s\n' "  repeat, other matching settings" "$matching_s" "$matching_cpu" "$(mb "$(column_median matching 3)")"
if [ "${METAPIXEL:-1}" != 0 ]; then
  prep_s=$(column_median prepare 1); mosaic_s=$(column_median mosaic 1)
  peer_s=$(awk -v a="$prep_s" -v b="$mosaic_s" 'BEGIN { printf "%.2f", a + b }')
  printf '%-34s %10s %10s %12s\n' "metapixel end to end" "$peer_s" "" ""
  printf '%-34s %10s %10s %12s\n' "  metapixel-prepare" "$prep_s" "$(column_median prepare 2)" "$(mb "$(column_median prepare 3)")"
  printf '%-34s %10s %10s %12s\n' "  metapixel --metapixel" "$mosaic_s" "$(column_median mosaic 2)" "$(mb "$(column_median mosaic 3)")"
fi
echo
echo "first creation / decode floor: $(ratio "$ours_s" "$floor_s") wall, $(ratio "$ours_cpu" "$floor_cpu") cpu  (aim: at most 1.3)"
echo "repeat creation / decode floor: $(ratio "$repeat_s" "$floor_s") wall, $(ratio "$repeat_cpu" "$floor_cpu") cpu  (aim: at most 0.3)"
echo "repeat, other matching / floor: $(ratio "$matching_s" "$floor_s") wall, $(ratio "$matching_cpu" "$floor_cpu") cpu  (aim: at most 0.3)"
if [ "${METAPIXEL:-1}" != 0 ]; then
  echo "metapixel / first creation:    $(ratio "$peer_s" "$ours_s")  (times as long as ours)"
fi
echo "Load average now: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "${BIG_GRIDS:-1}" != 0 ]; then
  echo
  echo "Big grids on the same library:"
  BUILD="$build" JOBS="$jobs" SIZES="${BIG_SIZES:-100 200 400}" HUGE=0 REPEAT="$reps" \
    bash bench/run_big_grid_benchmark.sh "$library" "$main"
fi
