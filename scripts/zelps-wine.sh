#!/bin/sh
# zelps cross-built for Windows and run under Wine, on the processes of a Wine
# system of its own. Arguments are passed to zelps.
#
# The first call installs what it needs, builds the libraries and zelps into
# build/zelps-windows and sets up a Wine prefix there, which later calls
# reuse: they start zelps at once, until a source changes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$root/build/zelps-windows
zelps=$tree/bin/zelps.exe
. "$root/scripts/zelps-build.sh"
if ! zel_zelps_current "$zelps"; then
  "$root/scripts/install-deps.sh" cmake make g++-mingw-w64-x86-64-posix wine64 >&2
  zel_zelps_build "$tree" "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake"
  touch "$zelps"
fi
WINEPREFIX=$tree/wine-prefix
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Setting up the Wine prefix $WINEPREFIX" >&2
  # No .NET or HTML engine is needed, and their installers would ask for one
  # on the X display.
  WINEDLLOVERRIDES="mscoree=;mshtml=" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
fi
exec /usr/lib/wine/wine64 "$zelps" "$@"
