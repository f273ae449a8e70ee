#!/bin/sh
# The library's defined dynamic symbols are exactly the names of the list
# (both columns, "-" means no second name): none missing, none extra (a test
# seam or a helper that lost its hidden visibility would be extra).
lib="$1"; list="$2"
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort -u)
expected=$(awk '{print $1; if ($2 != "-") print $2}' "$list" | sort -u)
missing=$(printf '%s\n' "$expected" | grep -vxF "$actual")
extra=$(printf '%s\n' "$actual" | grep -vxF "$expected")
[ -n "$missing" ] && printf 'missing: %s\n' $missing
[ -n "$extra" ] && printf 'extra: %s\n' $extra
[ -z "$missing" ] && [ -z "$extra" ]
