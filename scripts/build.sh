#!/bin/sh
# Builds one target into build/<target>: "linux" (native, the port over
# /proc), "linux-sanitized" (the same with AddressSanitizer, its leak checker
# and UndefinedBehaviorSanitizer, for the tests) or "windows" (cross-built
# DLLs and hosts).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
type=RelWithDebInfo
case "$target" in
  linux) toolchain="" ;;
  linux-sanitized)
    type=Debug
    toolchain="-DZEL_BUILD_BENCHMARKS=OFF"
    # Read by CMake when it first configures the tree.
    CXXFLAGS="-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    export CXXFLAGS
    ;;
  windows) toolchain="-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake" ;;
  *) echo "usage: $0 linux|linux-sanitized|windows" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S "$root" -B "$root/build/$target" -DCMAKE_BUILD_TYPE=$type $toolchain >/dev/null
cmake --build "$root/build/$target" -j "$(nproc)"
