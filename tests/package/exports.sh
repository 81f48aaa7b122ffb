#!/bin/sh
# What the Linux shared objects show a host: each has the soname of its
# minor version, and its dynamic symbol table defines the public classes'
# members, their type information and virtual tables, the public functions
# of namespace zel and the C interface's (zel_*, unmangled), and nothing
# else: no zel:: internals, no instantiations of the standard library's
# templates. c_exports.sh checks that each C function is there.
#
#   exports.sh MAJOR.MINOR LIBRARY...
set -eu
if [ $# -lt 2 ]; then
  echo "usage: $0 MAJOR.MINOR LIBRARY..." >&2
  exit 2
fi
version=$1
shift
public='^(CZelProcess|CZelError|CZelString|CZelPathString)::'
public="$public|^(typeinfo|typeinfo name|vtable) for (CZelProcess|CZelError)\$"
public="$public|^zel::(ErrorMessage|error_category)(\\[abi:cxx11\\])?\\("
public="$public|^zel_[a-z0-9_]+\$"
status=0
for library in "$@"; do
  name=$(basename "$library")
  expected="${name%%.so*}.so.$version"
  soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
  if [ "$soname" != "$expected" ]; then
    echo "exports.sh: FAIL: $name has soname '$soname', not $expected" >&2
    status=1
  fi
  # Each name, after its address and type letter.
  symbols=$(nm -DC --defined-only "$library" | sed 's/^[0-9a-f]* *[A-Za-z] //')
  others=$(printf '%s\n' "$symbols" | grep -Ev "$public" || true)
  if [ -n "$others" ]; then
    echo "exports.sh: FAIL: $name exports more than its public classes:" >&2
    echo "$others" >&2
    status=1
  fi
  if ! printf '%s\n' "$symbols" | grep -Eq "$public"; then
    echo "exports.sh: FAIL: $name exports none of its public classes" >&2
    status=1
  fi
done
exit $status
