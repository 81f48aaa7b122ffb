#!/bin/sh
# zelps run as users run it: its exit codes (0 listed, 1 nothing selected,
# 2 bad usage), help and version on standard output, and the caller's own
# shell selected by ID, owner and name.
#
#   command_line.sh ZELPS
set -eu
zelps=$1
. "$(dirname "$0")/../support/test_lib.sh"
scratch zelps-command-line
# expect CODE ARG...: runs zelps into $dir/out and $dir/err.
expect() {
  code=$1
  shift
  status=0
  "$zelps" "$@" >"$dir/out" 2>"$dir/err" || status=$?
  [ "$status" -eq "$code" ] || fail "zelps $* exited $status, not $code: $(cat "$dir/err")"
}
has() {
  grep -q -- "$2" "$dir/$1" || fail "no '$2' in the $1 of the last call: $(cat "$dir/$1")"
}

expect 0 --help
has out '^usage: zelps'
[ ! -s "$dir/err" ] || fail "--help wrote to stderr"
expect 0 -V
has out '^zelps [0-9]'

expect 2 --bogus
has err "unknown option '--bogus'"
[ ! -s "$dir/out" ] || fail "a bad option printed a listing"
expect 2 -p 4294967297
has err "not a process ID: '4294967297'"
expect 2 --columns=pid,size
has err "unknown column 'size'"

me=$(id -un)
expect 0 -p "$$" -o pid,user,name
has out "^ *$$  .*\\\\$me  "
expect 0 --pid=1,"$$" --user "$me" --sort=-pid -o pid
[ "$(sed -n 2p "$dir/out" | tr -d ' ')" = "$$" ] || fail "not sorted by -pid: $(cat "$dir/out")"
expect 1 -p "$$" -u zelps-no-such-user
expect 1 -p "$$" 'zelps-no-such-name*'
expect 1 -s 0.1 -n 2 -p "$$" 'zelps-no-such-name*'
expect 0 --format csv -p "$$" -o pid,ppid
has out "^\"PID\",\"PPID\""
has out "^\"$$\","
expect 0 --json -p "$$"
has out "^{\"id\":$$,"
# ps' habits: a word of BSD option letters is a name like any other, with a
# hint when it selects nothing, as -ef gets one; -u takes a user ID, -o takes
# titles.
expect 1 -p "$$" aux
has err "try zelps -e -o user,pid,pcpu,vsz,rss,start,time,cmd"
[ "$(wc -l <"$dir/out")" -le 1 ] || fail "aux listed processes: $(cat "$dir/out")"
expect 2 -ef
has err "for 'ps -ef', try zelps -e -o "
children=""
trap 'kill $children 2>/dev/null || true; rm -rf "$dir"' EXIT
# started NAME CMD...: runs CMD in the background, as $child once it runs
# the program NAME.
started() {
  name=$1
  shift
  "$@" &
  child=$!
  children="$children $child"
  tries=0
  until [ "$(cat "/proc/$child/comm" 2>/dev/null)" = "$name" ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 500 ] || fail "$* did not start"
    sleep 0.01
  done
}
cp /bin/sleep "$dir/mc"
started mc "$dir/mc" 60
expect 0 -p "$child" -o pid= mc
[ "$(tr -d ' ' <"$dir/out")" = "$child" ] || fail "mc not listed: $(cat "$dir/out")"
[ ! -s "$dir/err" ] || fail "a hint for mc, which is listed: $(cat "$dir/err")"
expect 0 -e -u "$(id -u)" -p "$$" -o pid= -o uid=
[ "$(tr -s ' ' <"$dir/out")" = "$$ $(id -u)" ] || fail "not one headerless row: $(cat "$dir/out")"
# The new columns as ps gives them: a niced sleep's nice value and virtual
# size, a young etime; a busy loop's lifetime CPU % near ps'.
started sleep nice -n 7 sleep 60
# Its virtual size is settled once it sleeps, its libraries loaded.
tries=0
until [ "$(cut -d ' ' -f 3 "/proc/$child/stat")" = S ]; do
  tries=$((tries + 1))
  [ "$tries" -lt 500 ] || fail "the niced sleep does not sleep"
  sleep 0.01
done
expect 0 -p "$child" -o pid=ID -o vsz,etime,nice,pcpu --no-headers
set -- $(cat "$dir/out")
[ "$1 $2 $4" = "$child $(ps -o vsz=,ni= -p "$child" | tr -s ' ' | sed 's/^ //')" ] ||
  fail "vsz and nice differ from ps': $* against $(ps -o vsz=,ni= -p "$child")"
case "$3 $5" in "00:0"[0-9]" "[0-9]*.[0-9]) ;; *) fail "not a young process's etime, pcpu: $*" ;; esac
started sh sh -c 'while :; do :; done'
# ps divides by the loop's age in whole seconds, so its figure runs high by
# the fraction it drops: both read just after the loop's age passes a whole
# second, two at the least.
ticks=$(getconf CLK_TCK)
tries=0
until awk -v start="$(cut -d ' ' -f 22 "/proc/$child/stat")" -v ticks="$ticks" \
  '{ age = $1 - start / ticks; exit !(age >= 2 && age - int(age) < 0.05) }' /proc/uptime; do
  tries=$((tries + 1))
  [ "$tries" -lt 1000 ] || fail "the busy loop's age never passed a whole second"
  sleep 0.01
done
expect 0 -p "$child" -o pcpu --no-headers
ours=$(cat "$dir/out")
theirs=$(ps -o pcpu= -p "$child")
awk -v a="$ours" -v b="$theirs" 'BEGIN { exit !(a - b < 8 && b - a < 8) }' ||
  fail "the busy loop's lifetime %CPU is $ours, ps says $theirs"
kill "$child"
# --env lists an environment longer than 4096 bytes whole, and says nothing
# of a cut.
long=$(printf '%6000s' '' | tr ' ' l)
env -i "ZEL_LONG=$long" ZEL_LAST=end /bin/sleep 60 &
sleeper=$!
children="$children $sleeper"
tries=0
until tr '\0' '\n' <"/proc/$sleeper/environ" 2>/dev/null | grep -q '^ZEL_LAST='; do
  tries=$((tries + 1))
  [ "$tries" -lt 500 ] || fail "the long environment's child did not start"
  sleep 0.01
done
expect 0 --env "$sleeper"
[ "$(cat "$dir/out")" = "ZEL_LONG=$long
ZEL_LAST=end" ] || fail "--env did not list the whole environment: $(head -c 300 "$dir/out")"
[ ! -s "$dir/err" ] || fail "--env said something of a whole environment: $(cat "$dir/err")"
expect 0 --json --env "$sleeper"
has out '"ZEL_LAST=end"\],"truncated":false}$'
# -m as tasklist /m: the shell has the dynamic loader loaded, and no module
# that no file is named.
expect 0 -m "ld-*" -p "$$" -o pid
has out "^ *$$  ld-linux"
expect 1 -m "zelps-no-such-module*" -p "$$"
expect 0 -m -p "$$" --format csv -o pid
has out "^\"$$\",\".*libc\\.so\\.6.*\""
