#!/bin/bash
# Makes a quiet private Wine prefix (once): virtual desktop, unmanaged windows, fonts.
set -euo pipefail
loader=$1; prefix=$2
[ -f "$prefix/.zul-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.zul-ready" ] && exit 0
rm -rf "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
case "$loader" in *64) export WINEARCH=win64 ;; *) export WINEARCH=win32 ;; esac
"$loader" wineboot -i >/dev/null 2>&1 || true
# Under qemu-user the virtual desktop's explorer crashes and unmanaged windows race
# into fatal X errors: emulated prefixes keep Wine's defaults (closing a window then
# takes about 2 s without a window manager).
if [ -z "${ZUL_EMULATED:-}" ]; then
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
fi
/usr/lib/wine/wineserver -w
cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
touch "$prefix/.zul-ready"
