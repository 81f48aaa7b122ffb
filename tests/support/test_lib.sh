# What the tests' shell scripts share: a failure that names the script, the
# checks of their arguments and user, a scratch directory removed on every
# exit, and the end of the children they started.
#   . "$(dirname "$0")/../support/test_lib.sh"
me=$(basename "$0")
fail() { echo "$me: FAIL: $*" >&2; exit 1; }
need_args() { [ "$1" -ge "$2" ] || { echo "usage: $0 $3" >&2; exit 2; }; }
need_root() { [ "$(id -u)" -eq 0 ] || fail "running as $(id -un), not root: $*"; }
# stop PID...: ends and waits for each child given.
stop() { for p in "$@"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done; }
# scratch NAME: a new directory $dir; on exit `before_exit` runs, then it goes.
before_exit() { :; }
scratch() {
  dir=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  trap 'before_exit; rm -rf "$dir"' EXIT
  trap 'exit 1' INT TERM
}
