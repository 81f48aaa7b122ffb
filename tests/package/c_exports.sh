#!/bin/sh
# Whether a built library exports every function that the C interface's
# header declares, each under its own unmangled name: from the dynamic
# symbol table of a shared object, or the export table of a DLL (read with
# OBJDUMP, the mingw-w64 one).
#
#   c_exports.sh HEADER LIBRARY [OBJDUMP]
set -eu
. "$(dirname "$0")/../support/test_lib.sh"
need_args $# 2 "HEADER LIBRARY [OBJDUMP]"
header=$1
library=$2
# Each declaration starts a line: ZEL_C_API, its result type, its name.
functions=$(sed -n 's/^ZEL_C_API .*[ *]\(zel_[a-z0-9_]*\)(.*/\1/p' "$header")
if [ -z "$functions" ]; then
  echo "c_exports.sh: FAIL: $header declares no function" >&2
  exit 1
fi
case "$library" in
  *.dll)
    # The names of the table that follows "[Ordinal/Name Pointer] Table".
    exported=$("${3:-objdump}" -p "$library" |
      sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p')
    ;;
  *) exported=$(nm -D --defined-only "$library" | awk '$2 == "T" { print $3 }') ;;
esac
status=0
count=0
for function in $functions; do
  count=$((count + 1))
  if ! printf '%s\n' "$exported" | grep -qx "$function"; then
    echo "c_exports.sh: FAIL: $(basename "$library") does not export $function" >&2
    status=1
  fi
done
[ $status -ne 0 ] || echo "c_exports.sh: $(basename "$library") exports the $count functions of $(basename "$header")"
exit $status
