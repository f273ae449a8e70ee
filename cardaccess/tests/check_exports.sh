#!/bin/sh
# The library's defined dynamic symbols must be exactly the names of the list.
lib="$1"; list="$2"
nm -D --defined-only "$lib" | awk '$2 != "A" {print $3}' | sort -u > "${TMPDIR:-/tmp}/qoradrv_syms.$$"
status=0
if ! sort -u "$list" | diff - "${TMPDIR:-/tmp}/qoradrv_syms.$$"; then
  echo "exported names differ from $list ('<' missing, '>' unexpected)"; status=1
fi
rm -f "${TMPDIR:-/tmp}/qoradrv_syms.$$"
exit $status
