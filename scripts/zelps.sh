#!/bin/sh
# The main job: lists the processes of this machine with zelps, the library's
# process lister, built natively (the Linux port reads /proc). Arguments are
# passed to zelps; scripts/zelps-wine.sh runs the Windows build under Wine.
#
# The first call installs what the build needs and builds the libraries and
# zelps into build/zelps; later calls start zelps at once, until a source
# changes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
zelps=$root/build/zelps/bin/zelps
. "$root/scripts/zelps-build.sh"
if ! zel_zelps_current "$zelps"; then
  "$root/scripts/install-deps.sh" cmake make g++ >&2
  zel_zelps_build "$root/build/zelps"
  # A build that found nothing to redo leaves the program's time as it was.
  touch "$zelps"
fi
exec "$zelps" "$@"
