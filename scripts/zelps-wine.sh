#!/bin/sh
# zelps cross-built for Windows and run under Wine, in a private prefix, on
# the processes of that Wine system. Arguments are passed to zelps.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" >&2
"$root/scripts/build.sh" windows >/dev/null
. "$root/scripts/wine-prefix.sh"
trap zel_wine_stop EXIT
trap 'exit 1' INT TERM
zel_wine_start
"$root/scripts/wine-exec.sh" "$root/build/windows/bin/zelps.exe" "$@"
