#!/usr/bin/env bash
# Sets up the project and runs its main job. Until the player lands, that is the pagewend tool
# over a package built by the project's own writer: where its documents lie, and an SWF header.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" build
out="$root/build/demo"
mkdir -p "$out"
"$root/build/bench/make_package" "$out/sample.pkg" 12 65536
"$root/build/src/tool/pagewend" locate "$out/sample.pkg"
movie=$(ls "$root"/../shared/corpus/swf/*.swf 2>/dev/null | head -n 1 || true)
if [ -n "$movie" ]; then "$root/build/src/tool/pagewend" swf "$movie"; fi
