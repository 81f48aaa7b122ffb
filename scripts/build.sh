#!/bin/sh
# Builds one target into build/<target>: "linux" (native, the port over
# /proc), "linux-sanitized" (the same with AddressSanitizer, its leak checker
# and UndefinedBehaviorSanitizer, for the tests), "linux-thread-sanitized"
# (the library and its concurrency test under ThreadSanitizer) or "windows"
# (cross-built DLLs and hosts).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
type=RelWithDebInfo
only=""
case "$target" in
  linux) toolchain="" ;;
  linux-sanitized)
    type=Debug
    toolchain="-DZEL_BUILD_BENCHMARKS=OFF"
    # Read by CMake when it first configures the tree.
    CXXFLAGS="-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    export CXXFLAGS
    ;;
  linux-thread-sanitized)
    type=Debug
    toolchain="-DZEL_BUILD_BENCHMARKS=OFF"
    CXXFLAGS="-O1 -fsanitize=thread -fno-omit-frame-pointer"
    export CXXFLAGS
    only="--target concurrency_tests"
    ;;
  windows) toolchain="-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake" ;;
  *) echo "usage: $0 linux|linux-sanitized|linux-thread-sanitized|windows" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S "$root" -B "$root/build/$target" -DCMAKE_BUILD_TYPE=$type $toolchain >/dev/null
# shellcheck disable=SC2086
cmake --build "$root/build/$target" -j "$(nproc)" $only
