#!/bin/sh
# Every name of the list (both columns, "-" means no second name) must be a
# defined dynamic symbol of the library.
lib="$1"; list="$2"; missing=0
syms=$(nm -D --defined-only "$lib" | awk '{print $3}')
for name in $(awk '{print $1; if ($2 != "-") print $2}' "$list"); do
  echo "$syms" | grep -qx "$name" || { echo "missing: $name"; missing=1; }
done
exit $missing
