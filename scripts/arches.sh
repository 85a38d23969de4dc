#!/bin/bash
# Prints how this machine runs the Windows programs of each build, one "ARCH MODE" line each:
#   i686 native       32-bit Wine runs directly (the product's own architecture);
#   x86_64 native     64-bit build under the native 64-bit Wine, when 32-bit code cannot run;
#   i686 emulated     32-bit Wine under qemu-user (scripts/emu), slow but the real module.
# Some virtual machines offer no 32-bit code segment at all, so no 32-bit program starts;
# there the 64-bit build carries the full suite and the 32-bit build runs under emulation.
# We register qemu for i386 only where native execution failed, so its presence means that.
if [ -n "${ZUL_TEST_ARCH:-}" ]; then echo "$ZUL_TEST_ARCH"; exit 0; fi
if ! grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 \
   && [ -x /usr/lib/wine/wine ] && timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "i686 native"
else
  echo "x86_64 native"
  echo "i686 emulated"
fi
