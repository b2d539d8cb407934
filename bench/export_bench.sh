#!/usr/bin/env bash
# `pagewend export --html` against `pagewend extract` of the same generated 200-page book with the
# same --jobs, run alternately: the median wall time of each, their ratio, and the web book's size
# against the page images the package holds.
#   bench/export_bench.sh [BUILD_DIR] [PAGES] [RUNS] [JOBS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
pages=${2:-200}
runs=${3:-5}
jobs=${4:-2}
tool=$build/src/tool/pagewend
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_book" "$work/book.exe" "$pages" >/dev/null

seconds() { # COMMAND...: its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/extract.times"
: >"$work/export.times"
for run in $(seq "$runs"); do
  rm -rf "$work/extracted" "$work/web"
  seconds "$tool" extract "$work/book.exe" -o "$work/extracted" --jobs "$jobs" >>"$work/extract.times"
  seconds "$tool" export --html "$work/book.exe" -o "$work/web" --jobs "$jobs" >>"$work/export.times"
done
extract=$(median <"$work/extract.times")
export=$(median <"$work/export.times")
# The page images: the files the pages' image elements name, as the package holds them.
images=$(find "$work/extracted/files/res/pages" -name 'p*.jpg' -printf '%s\n' | awk '{ s += $1 } END { print s }')
web=$(du -sb --apparent-size "$work/web" | cut -f1)
printf 'pages=%s jobs=%s runs=%s\n' "$pages" "$jobs" "$runs"
printf 'extract median %.2f s   (%s)\n' "$extract" "$(tr '\n' ' ' <"$work/extract.times")"
printf 'export  median %.2f s   (%s)\n' "$export" "$(tr '\n' ' ' <"$work/export.times")"
printf 'ratio export/extract %.2f\n' "$(awk -v a="$export" -v b="$extract" 'BEGIN { print a / b }')"
printf 'web book %s bytes, package page images %s bytes: %.2f of them\n' "$web" "$images" \
  "$(awk -v a="$web" -v b="$images" 'BEGIN { print a / b }')"
