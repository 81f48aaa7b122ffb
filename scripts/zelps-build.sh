# Sourced by scripts/zelps.sh and scripts/zelps-wine.sh: zel_zelps_current
# tells whether a built zelps is newer than every source it is built from;
# zel_zelps_build builds only the libraries and zelps into a tree of their
# own (no tests, no benchmarks), showing the build's progress on stderr.
zel_zelps_current() {
  [ -x "$1" ] || return 1
  [ -z "$(find "$root/CMakeLists.txt" "$root/cmake" "$root/include" "$root/framework" \
    "$root/src" "$root/tools" -newer "$1" -print -quit)" ]
}
# The program is run from wherever its user is, so it finds its libraries
# beside it ($ORIGIN/../lib) and nowhere else: a build tree's own search path
# ends in an empty entry, which the loader takes for the current directory.
zel_zelps_build() {
  tree=$1
  shift
  cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF \
    -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON '-DCMAKE_INSTALL_RPATH=$ORIGIN/../lib' "$@" >&2
  cmake --build "$tree" -j "$(nproc)" --target zelps >&2
}
