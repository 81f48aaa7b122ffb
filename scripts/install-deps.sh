#!/bin/sh
# Installs what the builds and tests need on a Debian 12 machine (as root),
# when it is missing: the packages named as arguments, or else all of them.
set -eu
# wine32 (an i386 package) runs the 32-bit processes of the Windows tests,
# which g++-mingw-w64-i686-posix builds.
packages="cmake make g++ libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386
  xvfb xauth python3 python3-psutil
  clang libclang-rt-14-dev tmux prometheus prometheus-node-exporter
  python3-prometheus-client doxygen man-db dpkg-dev file pkgconf"
if [ $# -gt 0 ]; then
  packages="$*"
fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  case "$missing" in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
      ;;
  esac
  # A mirror caught in the middle of a sync serves an index that does not
  # match its release file; it is usually whole again a little later.
  tries=1
  until apt-get update -q -o APT::Update::Error-Mode=any; do
    [ $tries -lt 4 ] || break
    echo "apt-get update failed; trying again in $((tries * 20)) s" >&2
    sleep $((tries * 20))
    tries=$((tries + 1))
  done
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
fi
