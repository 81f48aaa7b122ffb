# Sourced: makes a private Wine prefix for this run and stops only the
# wineserver of that prefix when the shell exits.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zel-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
zel_wine_cleanup() {
  WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap zel_wine_cleanup EXIT INT TERM
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
