#!/usr/bin/env bash
# Builds a benchmark library of real photographs: COUNT distinct 1600 x 1200
# JPEG crops (default 400) cut from the photographic desktop backgrounds of
# Debian's mate-backgrounds, plasma-workspace-wallpapers and
# lomiri-wallpapers-20.04 packages, plus a 1536 x 1536 main picture.
#
#   bench/make_photo_library.sh OUT_FOLDER [COUNT]
#
# Writes OUT_FOLDER/library/photo-NNN.jpg and OUT_FOLDER/main.jpg. Each crop
# takes one source photograph at its own scale (between the smallest that
# still covers 1600 x 1200 and full size), its own position and, for every
# second crop, mirrored; it is saved with 4:2:0 chroma at quality 85, 90 or
# 95, as cameras do. The crops are the same on every machine with the same
# packages. Nothing of this is committed: the photographs stay under their
# packages' licences.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 OUT_FOLDER [COUNT]" >&2
  exit 2
fi
out=$1
count=${2:-400}

# Photographs only (no drawings or renderings), each at least 1600 x 1200.
sources=(
  /usr/share/backgrounds/mate/nature/Aqua.jpg
  /usr/share/backgrounds/mate/nature/Blinds.jpg
  /usr/share/backgrounds/mate/nature/Garden.jpg
  /usr/share/backgrounds/mate/nature/LadyBird.jpg
  /usr/share/backgrounds/mate/nature/RainDrops.jpg
  /usr/share/backgrounds/mate/nature/Storm.jpg
  /usr/share/backgrounds/mate/nature/TwoWings.jpg
  /usr/share/backgrounds/mate/nature/Wood.jpg
  /usr/share/backgrounds/mate/nature/YellowFlower.jpg
  /usr/share/wallpapers/BytheWater/contents/images/2560x1600.jpg
  /usr/share/wallpapers/ColdRipple/contents/images/2560x1600.jpg
  /usr/share/wallpapers/ColorfulCups/contents/images/2560x1600.jpg
  /usr/share/wallpapers/DarkestHour/contents/images/2560x1600.jpg
  /usr/share/wallpapers/EveningGlow/contents/images/2560x1600.jpg
  /usr/share/wallpapers/FallenLeaf/contents/images/2560x1600.jpg
  /usr/share/wallpapers/Grey/contents/images/2560x1600.jpg
  /usr/share/wallpapers/Kite/contents/images/2560x1600.jpg
  /usr/share/wallpapers/OneStandsOut/contents/images/2560x1600.jpg
  /usr/share/wallpapers/Path/contents/images/2560x1600.jpg
  /usr/share/wallpapers/Volna/contents/images/5120x2880.jpg
  /usr/share/wallpapers/summer_1am/contents/images/2560x1600.jpg
  /usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg
)
missing=()
for s in "${sources[@]}"; do
  [ -f "$s" ] || missing+=("$s")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Missing source photographs (first: ${missing[0]})." >&2
  echo "Install them with: apt-get install mate-backgrounds plasma-workspace-wallpapers lomiri-wallpapers-20.04" >&2
  exit 1
fi
if ! command -v convert >/dev/null || ! command -v identify >/dev/null; then
  echo "ImageMagick's convert and identify are needed (apt-get install imagemagick)." >&2
  exit 1
fi

mkdir -p "$out/library"
n=${#sources[@]}
for ((i = 0; i < count; i++)); do
  target=$(printf '%s/library/photo-%03d.jpg' "$out" "$i")
  [ -s "$target" ] && continue
  src=${sources[$((i % n))]}
  k=$((i / n))  # how many crops of this source came before
  read -r w h < <(identify -quiet -format '%w %h\n' "$src" | head -1)
  # Scale, position and mirroring from fixed low-discrepancy fractions of k,
  # so no two crops of one source coincide.
  read -r sw sh x y < <(awk -v w="$w" -v h="$h" -v k="$k" 'BEGIN {
      smin = 1600 / w; if (1200 / h > smin) smin = 1200 / h
      f = (k * 0.6180339887) % 1; u = (k * 0.7548776662 + 0.31) % 1; v = (k * 0.5698402910 + 0.17) % 1
      s = smin + (1 - smin) * f
      sw = int(w * s + 0.5); sh = int(h * s + 0.5)
      if (sw < 1600) sw = 1600; if (sh < 1200) sh = 1200
      printf "%d %d %d %d\n", sw, sh, int((sw - 1600) * u), int((sh - 1200) * v) }')
  flip=()
  [ $((k % 2)) -eq 1 ] && flip=(-flop)
  quality=$((85 + 5 * (i % 3)))
  convert -quiet "$src" -resize "${sw}x${sh}!" -crop "1600x1200+${x}+${y}" +repage "${flip[@]}" \
    -type TrueColor -sampling-factor 2x2 -quality "$quality" "$target.tmp.jpg"
  mv "$target.tmp.jpg" "$target"
done

if [ ! -s "$out/main.jpg" ]; then
  convert -quiet /usr/share/wallpapers/EveningGlow/contents/images/2560x1600.jpg -resize 2458x1536! \
    -crop 1536x1536+461+0 +repage -type TrueColor -sampling-factor 2x2 -quality 90 "$out/main.jpg.tmp.jpg"
  mv "$out/main.jpg.tmp.jpg" "$out/main.jpg"
fi
echo "$count photographs in $out/library, main picture $out/main.jpg"
