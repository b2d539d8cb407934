#!/usr/bin/env bash
# Installs what the project needs, builds, and runs the whole test suite.
#   scripts/test.sh              the ordinary build, in build/
#   scripts/test.sh --sanitize   everything under AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=build
args=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  args=(-DPAGEWEND_SANITIZE=ON -DPAGEWEND_BUILD_BENCH=OFF)
fi
"$root/scripts/setup.sh" "$build" "${args[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$root/$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300
