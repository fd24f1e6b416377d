#!/usr/bin/env bash
# Installs what is missing, builds Tilewright and runs the whole test suite:
# once in a normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Pass --quick to skip the sanitizer run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The installed tree, the desktop files and the Debian package.
bash scripts/check-install.sh build

if [ "${1:-}" != "--quick" ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTILEWRIGHT_SANITIZE=ON
fi
