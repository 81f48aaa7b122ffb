# Sourced: zel_wine_start makes a private Wine prefix for this run;
# zel_wine_stop stops only the wineserver of that prefix and removes it.
zel_wine_start() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zel-wine.XXXXXX")
  export WINEPREFIX WINEDEBUG=-all
  # No .NET or HTML engine is needed, and their installers would ask for one
  # on the X display.
  WINEDLLOVERRIDES="mscoree=;mshtml=" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  # Until the prefix's first wineserver has ended, its registry is not on
  # disk and its start-up may run again beside the tests' processes, whose
  # CreateProcess then fails now and then ("Internal error").
  /usr/lib/wine/wineserver -w 2>/dev/null || true
}
zel_wine_stop() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
