#!/bin/bash
# Cross-compiling emulator: runs one Windows program in the build's private prefix.
loader=$1; prefix=$2; shift 2
"$(dirname "$0")/wine-prefix.sh" "$loader" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
exec "$loader" "$@"
