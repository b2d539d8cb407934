#!/usr/bin/env bash
# End-to-end unpacking of a generated 200-page book with `pagewend extract`, on one worker and
# on two, with wall time and peak memory (maximum resident set size) of each run.
#   bench/extract_bench.sh [BUILD_DIR] [PAGES] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
pages=${2:-200}
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_book" "$work/book.exe" "$pages"
for jobs in 1 2; do
  for run in $(seq "$runs"); do
    rm -rf "$work/out"
    /usr/bin/time -f "jobs=$jobs run=$run wall=%es peak_rss=%MKB" \
      "$build/src/tool/pagewend" extract "$work/book.exe" -o "$work/out" --jobs "$jobs" 2>&1 | grep jobs=
  done
done
