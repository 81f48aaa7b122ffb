#!/bin/sh
# Installs what is missing, builds both targets and runs every test: the
# Linux ones natively, the Windows ones under Wine in a private prefix.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" linux
"$root/scripts/build.sh" windows

status=0
ctest --test-dir "$root/build/linux" --output-on-failure || status=1

. "$root/scripts/wine-prefix.sh"
ctest --test-dir "$root/build/windows" --output-on-failure || status=1
exit $status
