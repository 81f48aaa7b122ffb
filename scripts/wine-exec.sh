#!/bin/sh
# Runs a Windows program under Wine, in the prefix that the caller set up
# (scripts/test.sh and scripts/zelps.sh make a private one).
: "${WINEPREFIX:?WINEPREFIX must name a private Wine prefix}"
export WINEDEBUG=-all
exec /usr/lib/wine/wine64 "$@"
