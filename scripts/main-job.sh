#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs the packages, builds
# Tilewright (with its sample library, sample main picture and help.pdf
# beside the programs in build/bin), then makes a mosaic of the sample main
# picture from the default library and says where it wrote it.
#
#   scripts/main-job.sh [OUTPUT.jpg|OUTPUT.bmp]    (default build/sample-mosaic.jpg)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

out=${1:-build/sample-mosaic.jpg}
build/bin/tilewright-cli create --main build/bin/sample-main.jpg --out "$out"
