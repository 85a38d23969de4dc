#!/bin/bash
# Builds the module and the demo host and runs the demo under Wine. Without a display
# it runs in a virtual one, presses Edit once, saves demo-screenshot.png while the
# window (and the plug-in's answer) is up, and closes the demo.
#   ./run-demo.sh [demo options, e.g. --description "Transition=BmpMask" --press about]
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
# The real 32-bit module wherever this machine can run it, natively or under emulation.
modes=$("$top/scripts/arches.sh")
if [ -n "${ZUL_DEMO_ARCH:-}" ]; then arch=$ZUL_DEMO_ARCH
elif echo "$modes" | grep -q '^i686 '; then arch=i686
else arch=$(echo "$modes" | head -1 | awk '{print $1}'); fi
"$top/scripts/build.sh" i686 $( [ "$arch" = i686 ] || echo "$arch" )
build=${ZUL_BUILD_ROOT:-$top/build}/$arch
cmake --build "$build" --target zuldemo >/dev/null

if [ -n "${DISPLAY:-}" ]; then
  exec "$top/scripts/with-wine.sh" "$build" sh -c 'cd "$1" && shift && "$0" ./zuldemo.exe "$@"' \
    "$(sed -n 's/^ZUL_WINE_LOADER:STRING=//p' "$build/CMakeCache.txt")" "$build" "$@"
fi

shot="$top/demo-screenshot.png"
rm -f "$shot"
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(--press edit)
"$top/scripts/with-wine.sh" "$build" sh -c '
  loader=$1; build=$2; shot=$3; shift 3
  cd "$build"
  "$loader" ./zuldemo.exe --close-after 40 "$@" &
  demo=$!
  # Wait for the window, give the plug-in time to answer, then photograph the screen.
  for i in $(seq 240); do
    xwininfo -root -tree 2>/dev/null | grep -q "zuldemo" && break
    sleep 0.25
  done
  sleep 4
  import -window root "$shot"
  wait $demo
' demo "$(sed -n 's/^ZUL_WINE_LOADER:STRING=//p' "$build/CMakeCache.txt")" "$build" "$shot" "${args[@]}"
echo "screenshot: $shot"
