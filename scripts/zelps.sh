#!/bin/sh
# The main job: lists the processes of this machine with zelps, the library's
# process lister, built natively (the Linux port reads /proc). Arguments are
# passed to zelps; scripts/zelps-wine.sh runs the Windows build under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" >&2
"$root/scripts/build.sh" linux >/dev/null
"$root/build/linux/bin/zelps" "$@"
