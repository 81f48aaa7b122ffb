# Sourced: zel_xvfb_start starts an Xvfb server on a free display for the
# tests that make windows; zel_xvfb_stop stops only that server.
zel_xvfb_start() {
  display=99
  while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  ZEL_XVFB_PID=$!
  # Wait until the server accepts clients, at most ten seconds.
  tries=0
  while [ ! -e "/tmp/.X11-unix/X$display" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  export DISPLAY=":$display"
}
zel_xvfb_stop() {
  [ -n "${ZEL_XVFB_PID:-}" ] || return 0
  kill "$ZEL_XVFB_PID" 2>/dev/null || true
  wait "$ZEL_XVFB_PID" 2>/dev/null || true
}
