#!/bin/sh
# zelps --output on every kind of path: a regular file is replaced whole (a
# new one with the caller's umask, an existing one keeping its mode and
# owner and its setuid bits), a symlink is followed and stays, a FIFO, a
# device or what a link to /proc/self/fd/1 names is written into, and what
# cannot be written (a socket, a directory, a directory without write
# permission) fails with exit 2, naming the path and the reason, and leaves
# everything as it was. The device is a null device that
# the test makes in a directory of its own: no test points at /dev.
#
#   output_file.sh ZELPS
#
# Must run as root: it makes a device node and a file owned by nobody.
set -eu
zelps=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/../support/test_lib.sh"
need_root "cannot make a device node"
scratch zelps-output
reader=""
before_exit() { stop $reader; chmod -R u+w "$dir"; }
fail() { echo "$me: FAIL: ${kind:-setup}: $*" >&2; exit 1; }
# write CODE PATH [ZELPS-PREFIX...]: zelps --output PATH, expecting exit CODE.
write() {
  code=$1
  path=$2
  shift 2
  status=0
  "$@" "$zelps" -p $$ -o pid --output "$path" >"$dir/stdout" 2>"$dir/stderr" ||
    status=$?
  [ "$status" -eq "$code" ] || fail "exited $status, not $code: $(cat "$dir/stderr")"
  if [ "$code" -ne 0 ]; then
    grep -qF -- "$path" "$dir/stderr" || fail "the error does not name $path: $(cat "$dir/stderr")"
    grep -q ": [A-Z][a-z]" "$dir/stderr" || fail "the error gives no reason: $(cat "$dir/stderr")"
  fi
}
listed() { [ "$(tr -d ' \n' <"$1")" = "PID$$" ] || fail "$1 holds '$(cat "$1")', not the listing"; }
alone() {
  left=$(ls -A "$(dirname "$1")")
  [ "$left" = "$(basename "$1")" ] || fail "files left beside $1: $left"
}

# Each kind of path: its setup and its checks.
new_file() {
  mkdir "$dir/new"
  (umask 027 && write 0 "$dir/new/zelps.txt")
  listed "$dir/new/zelps.txt"
  [ "$(stat -c %a "$dir/new/zelps.txt")" = 640 ] || fail "mode $(stat -c %a "$dir/new/zelps.txt")"
  alone "$dir/new/zelps.txt"
}
others_file() {
  mkdir "$dir/others"
  echo old >"$dir/others/zelps.txt"
  chmod 600 "$dir/others/zelps.txt"
  chown nobody "$dir/others/zelps.txt"
  write 0 "$dir/others/zelps.txt"
  listed "$dir/others/zelps.txt"
  [ "$(stat -c '%a %U' "$dir/others/zelps.txt")" = "600 nobody" ] ||
    fail "now $(stat -c '%a %U' "$dir/others/zelps.txt")"
  alone "$dir/others/zelps.txt"
}
# A chown clears the setuid and setgid bits: they are set after it.
setuid_file() {
  mkdir "$dir/setuid"
  echo old >"$dir/setuid/zelps.txt"
  chown nobody "$dir/setuid/zelps.txt"
  chmod 6755 "$dir/setuid/zelps.txt"
  write 0 "$dir/setuid/zelps.txt"
  [ "$(stat -c '%a %U' "$dir/setuid/zelps.txt")" = "6755 nobody" ] ||
    fail "now $(stat -c '%a %U' "$dir/setuid/zelps.txt")"
}
# A link to procfs' /proc/self/fd/1 names zelps' standard output, whose
# link text ("pipe:[N]", or a file's name) is no path to replace: it is
# written into, a pipe or a regular file alike.
magic_link() {
  mkdir "$dir/magic"
  ln -s /proc/self/fd/1 "$dir/magic/out"
  {
    status=0
    "$zelps" -p $$ -o pid --output "$dir/magic/out" 2>"$dir/stderr" || status=$?
    echo "$status" >"$dir/status"
  } | cat >"$dir/from-pipe"
  [ "$(cat "$dir/status")" = 0 ] || fail "through a pipe: $(cat "$dir/stderr")"
  listed "$dir/from-pipe"
  : >"$dir/stdout"
  inode=$(stat -c %i "$dir/stdout")
  write 0 "$dir/magic/out"
  listed "$dir/stdout"
  [ "$(stat -c %i "$dir/stdout")" = "$inode" ] || fail "standard output's file was replaced"
  alone "$dir/magic/out"
}
symlink() {
  mkdir "$dir/target" "$dir/link"
  echo old >"$dir/target/zelps.txt"
  ln -s ../target/zelps.txt "$dir/link/zelps.txt"
  write 0 "$dir/link/zelps.txt"
  [ -L "$dir/link/zelps.txt" ] || fail "the link was replaced"
  listed "$dir/target/zelps.txt"
  alone "$dir/target/zelps.txt"
}
fifo() {
  mkfifo "$dir/fifo"
  cat "$dir/fifo" >"$dir/from-fifo" &
  reader=$!
  write 0 "$dir/fifo"
  [ -p "$dir/fifo" ] || fail "the FIFO was replaced"
  wait "$reader"
  reader=""
  listed "$dir/from-fifo"
}
device() {
  mkdir "$dir/device"
  mknod "$dir/device/null" c 1 3
  write 0 "$dir/device/null"
  [ "$(stat -c '%F %t:%T' "$dir/device/null")" = "character special file 1:3" ] ||
    fail "the device node is now: $(stat -c '%F %t:%T' "$dir/device/null")"
  alone "$dir/device/null"
}
socket() {
  mkdir "$dir/socket"
  /usr/bin/python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' \
    "$dir/socket/zelps.sock"
  write 2 "$dir/socket/zelps.sock"
  [ -S "$dir/socket/zelps.sock" ] || fail "the socket was replaced"
  alone "$dir/socket/zelps.sock"
}
directory() {
  mkdir -p "$dir/directory/zelps.txt"
  write 2 "$dir/directory/zelps.txt"
  [ -d "$dir/directory/zelps.txt" ] || fail "the directory was replaced"
  alone "$dir/directory/zelps.txt"
}
# Root writes any directory; without CAP_DAC_OVERRIDE it is held to the mode.
unwritable_directory() {
  mkdir "$dir/unwritable"
  echo old >"$dir/unwritable/zelps.txt"
  chmod 555 "$dir/unwritable"
  write 2 "$dir/unwritable/zelps.txt" setpriv --bounding-set -dac_override
  [ "$(cat "$dir/unwritable/zelps.txt")" = old ] || fail "the file was changed"
  alone "$dir/unwritable/zelps.txt"
}
standard_output() {
  cd "$dir"
  write 0 -
  cd - >/dev/null
  listed "$dir/stdout"
  [ ! -e "$dir/-" ] || fail "wrote a file named -"
}

for kind in new_file others_file setuid_file magic_link symlink fifo device socket directory unwritable_directory \
  standard_output; do
  "$kind"
done
