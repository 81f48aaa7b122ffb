#!/bin/sh
# Builds one target: "linux" (native, over the emulated platform) or
# "windows" (cross-built DLLs and hosts), into build/<target>.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
case "$target" in
  linux) toolchain="" ;;
  windows) toolchain="-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake" ;;
  *) echo "usage: $0 linux|windows" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S "$root" -B "$root/build/$target" -DCMAKE_BUILD_TYPE=RelWithDebInfo $toolchain >/dev/null
cmake --build "$root/build/$target" -j "$(nproc)"
