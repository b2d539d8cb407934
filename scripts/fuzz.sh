#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz/), writes their seed corpora, and runs each target.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# SECONDS_PER_TARGET defaults to 60; the targets default to every fuzz/*_fuzz.cpp. Targets run one
# after the other; the script fails when any of them finds a crash, a hang, a leak or a write
# outside its folder. Inputs that found something go to build-fuzz/fuzz/artifacts/TARGET/;
# inputs that widened coverage accumulate in build-fuzz/fuzz/corpus/TARGET/ across runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

CC=clang CXX=clang++ "$root/scripts/setup.sh" "$build" \
  -DPAGEWEND_FUZZ=ON -DBUILD_TESTING=OFF -DPAGEWEND_BUILD_BENCH=OFF -DPAGEWEND_BUILD_PLAYER=OFF

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in "$root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

seeds="$build/fuzz/seeds"
rm -rf "$seeds"
"$build/fuzz/make_seeds" "$seeds"
shared="$root/../shared/corpus"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for target in "${targets[@]}"; do
  corpus="$build/fuzz/corpus/$target"
  artifacts="$build/fuzz/artifacts/$target/"
  mkdir -p "$corpus" "$artifacts" "$seeds/$target"
  extra=()
  case "$target" in
    swf_reader_fuzz) [ -d "$shared/swf" ] && extra+=("$shared/swf") ;;
    zip_extract_fuzz) [ -d "$shared/zip" ] && extra+=("$shared/zip") ;;
  esac
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536
           -print_final_stats=1 -artifact_prefix="$artifacts")
  [ -f "$root/fuzz/dicts/$target.dict" ] && options+=(-dict="$root/fuzz/dicts/$target.dict")
  echo "fuzz: $target for ${seconds}s" >&2
  # The run starts in a folder of its own: a reader that writes relative to the working
  # directory cannot then touch the tree.
  if ! (cd "$artifacts" && "$build/fuzz/$target" "${options[@]}" "$corpus" "$seeds/$target" "${extra[@]}"); then
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs in $build/fuzz/artifacts/)" >&2
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, no findings" >&2
