#!/usr/bin/env bash
# Installs every Debian and npm package the project needs (idempotent), then
# configures and builds. Usage: scripts/setup.sh [build-dir] [extra cmake args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

debs=(
  build-essential cmake ninja-build ccache pkg-config clang clang-format libclang-rt-14-dev haxe
  libpugixml-dev zlib1g-dev libarchive-dev libfmt-dev libcli11-dev nlohmann-json3-dev libjpeg62-turbo-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpodofo-dev
  qpdf poppler-utils img2pdf
  qt6-base-dev qt6-webengine-dev qt6-image-formats-plugins
  xvfb xauth nodejs time fonts-dejavu-core
  openbox xdotool imagemagick
  chromium chromium-driver python3-selenium
)

missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Some machines carry a nodejs build that bundles npm; Debian's npm would conflict with it.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# npm packages (the movie host's web build), pinned in package-lock.json.
if [ -f "$root/package.json" ]; then
  # npm records what it installed in node_modules/.package-lock.json; an empty or stale folder
  # is installed afresh.
  if [ ! -f "$root/node_modules/.package-lock.json" ] ||
    [ "$root/package-lock.json" -nt "$root/node_modules/.package-lock.json" ]; then
    (cd "$root" && npm ci --no-audit --no-fund --loglevel=error)
  fi
fi

build=${1:-build}
shift || true
case "$build" in /*) ;; *) build="$root/$build" ;; esac
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DPAGEWEND_WERROR=ON \
  "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
