#!/bin/sh
# Builds one target into build/<target>: "linux" (native, the port over
# /proc), "linux-sanitized" (the same with AddressSanitizer, its leak checker
# and UndefinedBehaviorSanitizer, for the tests), "linux-thread-sanitized"
# (the library and its concurrency test under ThreadSanitizer), "linux-fuzz"
# (the libFuzzer targets, built with clang and the same sanitizers) or
# "windows" (cross-built DLLs and hosts).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
type=RelWithDebInfo
optimize_flags=""
build_target=all
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
    build_target=concurrency_tests
    ;;
  linux-fuzz)
    # Only the fuzzers and what they link; line tables are enough for the
    # sanitizers' reports and keep the build short.
    toolchain="-DZEL_BUILD_FUZZERS=ON -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF"
    optimize_flags="-O1 -gline-tables-only"
    build_target=fuzzers
    # Read by CMake when it first configures the tree.
    CC=clang CXX=clang++
    export CC CXX
    ;;
  windows) toolchain="-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake" ;;
  *)
    echo "usage: $0 linux|linux-sanitized|linux-thread-sanitized|linux-fuzz|windows" >&2
    exit 2
    ;;
esac
# shellcheck disable=SC2086
cmake -S "$root" -B "$root/build/$target" -DCMAKE_BUILD_TYPE=$type $toolchain \
  ${optimize_flags:+"-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$optimize_flags"} >/dev/null
cmake --build "$root/build/$target" -j "$(nproc)" --target "$build_target"
