#!/bin/bash
# Builds the module and every test program, checks the module's exports and imports,
# and runs all tests under Wine (with a virtual display when none is given).
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
modes=$("$top/scripts/arches.sh")
"$top/scripts/build.sh" $(echo "$modes" | awk '{print $1}' | sort -u)
"$top/scripts/check-module.sh" "$top/build/i686/zulEd.htd"
rc=0
while read -r arch mode; do
  echo "== tests: $arch ($mode) =="
  "$top/scripts/with-wine.sh" "$top/build/$arch" \
      ctest --test-dir "$top/build/$arch" --output-on-failure -j2 --timeout 1800 || rc=1
  if [ "$mode" = native ]; then
    # Once more with the blend kernels forced to their plain forms.
    echo "== tests: $arch ($mode, plain blend kernels) =="
    ZUL_BLEND_REFERENCE=1 "$top/scripts/with-wine.sh" "$top/build/$arch" \
        ctest --test-dir "$top/build/$arch" --output-on-failure -j2 --timeout 1800 || rc=1
  fi
done <<< "$modes"
exit $rc
