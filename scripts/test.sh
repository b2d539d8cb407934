#!/usr/bin/env bash
# Installs what the project needs, builds, and runs the whole test suite.
#   scripts/test.sh              the ordinary build, in build/
#   scripts/test.sh --sanitize   everything under AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#   scripts/test.sh --tsan       the tests that run threads, under ThreadSanitizer, in build-tsan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=build
args=()
case "${1:-}" in
  --sanitize)
    build=build-asan
    args=(-DPAGEWEND_SANITIZE=ON -DPAGEWEND_BUILD_BENCH=OFF)
    ;;
  --tsan)
    build=build-tsan
    args=(-DPAGEWEND_TSAN=ON -DPAGEWEND_BUILD_BENCH=OFF)
    ;;
esac
# Set before building too: the build runs its own programs (the demo book's generator).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp}
"$root/scripts/setup.sh" "$build" "${args[@]}"
cd "$root/$build"
if [ "${1:-}" = "--tsan" ]; then
  # Every suite whose code starts threads: the ordered pool, the run log written from many
  # threads, the unpacking thread of the ZIP reader, the book opener with its workers, and in
  # the player the loading thread with its hand-off to the GUI thread. A suite that adds
  # threads belongs here.
  tests/pagewend_tests \
    --gtest_filter="${PAGEWEND_THREAD_TESTS:-OrderedPool.*:RunLog.*:ZipExtract.*:BookOpener.*:UnpackRun.*:HostilePackage.*}"
  if [ -x tests/shell/pagewend_shell_tests ]; then
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 tests/shell/pagewend_shell_tests \
      --gtest_filter="${PAGEWEND_SHELL_THREAD_TESTS:-GuiGate.*:MainWindow.*:PageView.*:QuitOnSignals.*}"
  fi
  exit 0
fi
ctest --output-on-failure -j "$(nproc)" --timeout 300
