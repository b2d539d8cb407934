#!/usr/bin/env bash
# Builds the Debian package from a Release configuration in build-deb/, installs it, and checks
# the installed programs: both answer --version, the installed player packs the demo book into a
# runnable book, that book plays under Xvfb and leaves no working folder behind when it is
# stopped. The package is removed at the end, whatever happened.
# Usage: scripts/check-deb.sh          (as root, or with sudo)
# Environment: PLAY_SECONDS (default 8) the book must play before it is stopped;
#              KEEP_INSTALLED=1 leaves the package installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-deb"
play_seconds=${PLAY_SECONDS:-8}

step() { printf '\n==> %s\n' "$*" >&2; }
ok() { printf '    ok: %s\n' "$*" >&2; }
fail() {
  printf 'check-deb: FAILED: %s\n' "$*" >&2
  exit 1
}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d "${TMPDIR:-/tmp}/check-deb.XXXXXX")
installed=0
xvfb_pid=
player_pid=
cleanup() {
  local status=$?
  if [ -n "$player_pid" ]; then
    # timeout relays SIGTERM to the player; KILL would leave the player behind.
    kill -TERM "$player_pid" 2>/dev/null || true
    wait "$player_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ "$installed" -eq 1 ] && [ "${KEEP_INSTALLED:-0}" != 1 ]; then
    step "Removing the package"
    if "${sudo_cmd[@]}" apt-get remove -y -qq pagewend >/dev/null; then
      if [ -e /usr/bin/pagewend ]; then
        echo "check-deb: FAILED: /usr/bin/pagewend is still there after the package was removed" >&2
        status=1
      else
        ok "pagewend removed"
      fi
    else
      echo "check-deb: FAILED: apt-get remove pagewend" >&2
      status=1
    fi
  fi
  rm -rf "$work"
  if [ "$status" -eq 0 ]; then echo "check-deb: all checks passed" >&2; fi
  exit "$status"
}
trap cleanup EXIT

# --------------------------------------------------------------------------------------------
step "Tools the package and the checks need (dpkg-shlibdeps, file, Xvfb)"
missing=()
for p in dpkg-dev file xvfb xauth; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
ok "present"

# --------------------------------------------------------------------------------------------
step "Building a Release configuration in $build"
# The package needs the programs and the demo book only.
BUILD_TYPE=Release "$root/scripts/setup.sh" build-deb \
  -DBUILD_TESTING=OFF -DPAGEWEND_BUILD_BENCH=OFF ||
  fail "the Release build"
demo="$build/samples/demo/pagewend-demo"
[ -f "$demo" ] || fail "the build made no demo book ($demo)"
ok "built"

# --------------------------------------------------------------------------------------------
step "Making the package: cpack -G DEB"
rm -f "$build"/pagewend_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB"
}
debs=("$build"/pagewend_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single pagewend_*.deb"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "pagewend_${version}_${arch}.deb" ] ||
  fail "$(basename "$deb") is not named pagewend_${version}_${arch}.deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "    $(basename "$deb"): Depends: $depends" >&2
for dep in qt6-image-formats-plugins libqt6webenginecore6 libc6; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "the package does not depend on $dep"
done
if dpkg-deb -c "$deb" | grep -E '/ruffle/' | grep -vq '/usr/share/doc/pagewend/ruffle/'; then
  fail "the package installs a ruffle/ folder outside its documentation"
fi
ok "$(basename "$deb")"

# --------------------------------------------------------------------------------------------
step "Installing: apt-get install ./$(basename "$deb")"
installed=1
(cd "$build" && "${sudo_cmd[@]}" apt-get install -y -qq --reinstall "./$(basename "$deb")" >"$work/apt.log" 2>&1) || {
  cat "$work/apt.log" >&2
  fail "apt-get install ./$(basename "$deb")"
}
for f in /usr/bin/pagewend /usr/bin/pagewend-player \
  /usr/share/man/man1/pagewend.1.gz /usr/share/man/man1/pagewend-player.1.gz \
  /usr/share/applications/pagewend-player.desktop /usr/share/mime/packages/pagewend.xml \
  /usr/share/icons/hicolor/scalable/apps/pagewend.svg /usr/share/bash-completion/completions/pagewend \
  /usr/share/doc/pagewend/copyright /usr/share/doc/pagewend/ruffle/LICENSE_MIT \
  /usr/share/doc/pagewend/ruffle/LICENSE_APACHE; do
  [ -f "$f" ] || fail "$f is not installed"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/pagewend-player.desktop || fail "the desktop entry is not valid"
fi
for f in /usr/bin/pagewend /usr/bin/pagewend-player; do
  file -b "$f" | grep -q ', stripped' || fail "$f is not stripped"
done
ok "installed, programs stripped"

# --------------------------------------------------------------------------------------------
step "The installed programs' versions"
# Neither needs a display to say its version.
v=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 /usr/bin/pagewend --version) ||
  fail "/usr/bin/pagewend --version"
[ "$v" = "pagewend $version" ] || fail "/usr/bin/pagewend --version said '$v', not 'pagewend $version'"
ok "$v"
v=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 /usr/bin/pagewend-player --version 2>&1) ||
  fail "/usr/bin/pagewend-player --version: ${v:-no output}"
grep -q "$version" <<<"$v" || fail "/usr/bin/pagewend-player --version said '$v', without $version"
ok "$v"

# --------------------------------------------------------------------------------------------
step "Repacking the demo book with the installed player"
/usr/bin/pagewend extract --keep-documents "$demo" -o "$work/demo" >"$work/extract.log" 2>&1 || {
  cat "$work/extract.log" >&2
  fail "pagewend extract --keep-documents $demo"
}
book="$work/book/pagewend-demo"
mkdir "$work/book"
/usr/bin/pagewend pack "$work/demo" -o "$book" --player /usr/bin/pagewend-player >"$work/pack.log" 2>&1 || {
  cat "$work/pack.log" >&2
  fail "pagewend pack $work/demo --player /usr/bin/pagewend-player"
}
[ -x "$book" ] || fail "the packed book $book is not executable"
/usr/bin/pagewend info "$book" >/dev/null || fail "pagewend info of the packed book"
# A player needs nothing beside its own file: the book lies alone in its folder.
[ "$(ls -A "$work/book")" = "pagewend-demo" ] || fail "the book's folder holds more than the book"
ok "$book"

# --------------------------------------------------------------------------------------------
step "Playing the book under Xvfb for ${play_seconds} s"
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/display" ] || {
  cat "$work/xvfb.log" >&2
  fail "Xvfb did not start"
}
# A temporary folder of the run's own, so its working folder is found and its removal seen.
mkdir -m 700 "$work/tmp" "$work/state" "$work/runtime"
play_env=(DISPLAY=":$(cat "$work/display")" TMPDIR="$work/tmp" XDG_STATE_HOME="$work/state"
  XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb)
# Chromium's sandbox cannot run as root.
[ "$(id -u)" -ne 0 ] || play_env+=(QTWEBENGINE_DISABLE_SANDBOX=1)
# The timeout only guards against a player that does not stop on SIGTERM; it relays the signal.
env "${play_env[@]}" timeout -k 5 20 "$book" >"$work/player.log" 2>&1 &
player_pid=$!
show_player() {
  echo "--- the player's output:" >&2
  tail -n 30 "$work/player.log" >&2 || true
  if [ -n "${run_log:-}" ] && [ -f "$run_log" ]; then
    echo "--- the run's log ($run_log):" >&2
    tail -n 30 "$run_log" >&2
  fi
}
sleep "$play_seconds"
run_log=$(find "$work/tmp" -mindepth 4 -maxdepth 4 -path '*/files/Log/log1.txt' -print -quit)
kill -0 "$player_pid" 2>/dev/null || {
  show_player
  fail "the book is not running after ${play_seconds} s"
}
[ -n "$run_log" ] || {
  show_player
  fail "no run log (GUID/files/Log/log1.txt) in the temporary folder $work/tmp"
}
run_folder=$(dirname "$(dirname "$(dirname "$run_log")")")
grep -q 'Finish SplitPages' "$run_log" || {
  show_player
  fail "the run's log does not show the book loaded (no 'Finish SplitPages')"
}
if grep -q 'Error:' "$run_log"; then
  show_player
  fail "the run's log has an error"
fi
# The movie host runs in the page: a script error there means no movie, whatever the log says.
if grep -q '^js: Uncaught' "$work/player.log"; then
  show_player
  fail "the player's page has a script error (is Ruffle in the player?)"
fi
grep -q "the movie's first frame is shown" "$run_log" || {
  show_player
  fail "the run's log does not show the movie's first frame"
}
ok "running after ${play_seconds} s; $(basename "$run_folder") loaded its $(grep -m1 -o 'Page Count: [0-9]*' "$run_log" || echo 'pages') and shows its movie"

step "Stopping the book with SIGTERM"
kill -TERM "$player_pid"
player_status=0
wait "$player_pid" || player_status=$?
player_pid=
case "$player_status" in
  124 | 137) fail "the player did not stop on SIGTERM (timeout's status $player_status)" ;;
esac
ok "stopped (status $player_status)"
[ ! -e "$run_folder" ] || fail "the working folder $run_folder is still there"
leftover=$(find "$work/tmp" -mindepth 1 -maxdepth 1 -name '{*-*-*-*-*}')
[ -z "$leftover" ] || fail "working folders left behind: $leftover"
ok "no working folder left in $work/tmp"
