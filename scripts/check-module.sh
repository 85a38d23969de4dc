#!/bin/bash
# The module exports exactly the three undecorated entry points and imports only system DLLs.
set -euo pipefail
dll=$1
dump=$(i686-w64-mingw32-objdump -p "$dll")
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^\s*$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
echo "zulEd.htd exports: $exports"
echo "zulEd.htd imports: $imports"
[ "$exports" = "DllInitialize ShowAbout ShowEditor " ] || { echo "unexpected exports" >&2; exit 1; }
for d in $imports; do
  case "$d" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|comctl32.dll|comdlg32.dll|winmm.dll|version.dll|msimg32.dll|windowscodecs.dll|shlwapi.dll|msvcrt.dll|ntdll.dll|uxtheme.dll|dwmapi.dll) ;;
    *) echo "non-system import: $d" >&2; exit 1 ;;
  esac
done
