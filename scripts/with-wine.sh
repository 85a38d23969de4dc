#!/bin/bash
# with-wine.sh BUILD_DIR CMD...: runs CMD with a display (a virtual one when none
# is given) and a persistent wineserver for the build's prefix.
set -uo pipefail
build=$(cd "$1" && pwd); shift
here=$(cd "$(dirname "$0")" && pwd)
loader=$(sed -n "s/^ZUL_WINE_LOADER:STRING=//p" "$build/CMakeCache.txt")
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    break
  done
fi
# 32-bit Wine on a machine that cannot run 32-bit code: under qemu-user (see arches.sh).
if [ "$loader" = /usr/lib/wine/wine ] && "$here/arches.sh" | grep -qx "i686 emulated"; then
  export LD_PRELOAD=$("$here/emu/setup.sh" "$(dirname "$build")/emu") ZUL_EMULATED=1
fi
"$here/wine-prefix.sh" "$loader" "$build/wineprefix"
# A crashing program fails its test instead of waiting in the debugger.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
"$loader" cmd /c exit </dev/null >/dev/null 2>&1
"$@"; rc=$?
/usr/lib/wine/wineserver -k >/dev/null 2>&1
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
exit $rc
