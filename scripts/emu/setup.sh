#!/bin/bash
# setup.sh DIR: lets this machine run 32-bit Wine when its kernel cannot execute 32-bit
# code: qemu-user runs the 32-bit Linux side of Wine, and a small preloaded library
# fixes the one mmap flag qemu gets wrong. Prints the LD_PRELOAD value to use.
set -euo pipefail
dir=$1
here=$(cd "$(dirname "$0")" && pwd)
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
for p in qemu-user-static gcc-i686-linux-gnu libc6-dev-i386-cross gcc libc6-dev; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# $LIB expands per process: the 32-bit Wine gets the fix, 64-bit programs an empty library.
mkdir -p "$dir/lib/i386-linux-gnu" "$dir/lib/x86_64-linux-gnu"
so32=$dir/lib/i386-linux-gnu/zul-mmap.so
so64=$dir/lib/x86_64-linux-gnu/zul-mmap.so
if [ ! -f "$so32" ] || [ "$here/mmap_noreplace.c" -nt "$so32" ]; then
  i686-linux-gnu-gcc -O2 -Wall -shared -fPIC "$here/mmap_noreplace.c" -o "$so32" -ldl
fi
[ -f "$so64" ] || echo 'void zul_mmap_unused(void) {}' | gcc -shared -fPIC -x c - -o "$so64"
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > /proc/sys/fs/binfmt_misc/register
fi
echo "$dir/\$LIB/zul-mmap.so"
