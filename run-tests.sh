#!/bin/bash
# Builds the module and every test program, checks the module's exports and imports,
# and runs all tests under Wine (with a virtual display when none is given).
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
run=$("$top/scripts/arches.sh")
"$top/scripts/build.sh" i686 $( [ "$run" = i686 ] || echo "$run" )
"$top/scripts/check-module.sh" "$top/build/i686/zulEd.htd"
for arch in $run; do
  echo "== tests ($arch) =="
  "$top/scripts/with-wine.sh" "$top/build/$arch" ctest --test-dir "$top/build/$arch" --output-on-failure -j2 --timeout 300
done
