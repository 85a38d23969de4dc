#!/bin/bash
# Prints the architectures whose Windows programs this machine runs natively under Wine.
# Some virtual machines cannot execute 32-bit code at all (no 32-bit code segment);
# there the 64-bit build of the same sources carries the tests.
if [ -n "${ZUL_TEST_ARCH:-}" ]; then echo "$ZUL_TEST_ARCH"; exit 0; fi
out=""
if [ -x /usr/lib/wine/wine ] && ! grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 \
   && timeout 20 /usr/lib/wine/wine --version >/dev/null 2>&1; then
  out="i686"
fi
[ -n "$out" ] || out="x86_64"
echo $out
