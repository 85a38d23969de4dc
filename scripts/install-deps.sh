#!/bin/bash
# Installs what building and running need on Debian 12; skips what is there.
set -euo pipefail
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
for p in wine wine64 wine32:i386 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
         xvfb xauth x11-utils cmake ninja-build googletest imagemagick fonts-wine fonts-liberation \
         binutils-mingw-w64-i686; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $SUDO dpkg --add-architecture i386; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
