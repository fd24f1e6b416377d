#!/usr/bin/env bash
# Installs the Debian 12 packages Tilewright needs to build, test and benchmark.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl1-mesa-dev
  libjpeg62-turbo-dev libsqlite3-dev libxxhash-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fontconfig fonts-dejavu-core
  desktop-file-utils appstream dpkg-dev file man-db groff-base poppler-utils
  clang libclang-rt-14-dev
)
if [ "${1:-}" = "--bench" ]; then
  # metapixel is the peer; the background packages hold the real
  # photographs bench/make_photo_library.sh cuts the library from.
  packages+=(metapixel time imagemagick mate-backgrounds plasma-workspace-wallpapers lomiri-wallpapers-20.04)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
