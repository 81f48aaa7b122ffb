#!/bin/sh
# The refresh mode on a real terminal, driven through tmux: it redraws on the
# alternate screen with the busiest process first, and q or Ctrl-C give the
# terminal back as it was (screen and settings); without a terminal it prints
# one plain table after the other, and CSV under one header.
#
#   refresh_mode.sh ZELPS [LAUNCHER]
#
# With a LAUNCHER (Wine, for the Windows build) only the screen is checked:
# q and Ctrl-C give it back as it was. Wine lists processes of its own, not
# the busy one that the test starts. It runs in a Wine prefix of its own:
# in one where other tests have run programs, Wine's console may no longer
# read the keys of a Unix terminal.
set -eu
zelps=$1
launcher=${2:-}
. "$(dirname "$0")/../support/test_lib.sh"
scratch zelps-refresh-mode
socket=$dir/tmux
spinner=""
sleeper=""
before_exit() {
  tmux -S "$socket" kill-server 2>/dev/null || true
  if [ -n "$launcher" ]; then
    WINEPREFIX="$dir/wine" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
  stop $spinner $sleeper
}
# A failure shows the screen as it was.
fail() {
  [ -S "$socket" ] && tmux -S "$socket" capture-pane -p -t zelps >&2 || true
  echo "$me: FAIL: $*" >&2
  exit 1
}
pane() { tmux -S "$socket" capture-pane -p -t zelps; }
alternate() { tmux -S "$socket" display-message -p -t zelps '#{alternate_on}'; }
# until TEST...: waits at most ten seconds for TEST to pass.
until_true() {
  tries=0
  until "$@"; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || return 1
    sleep 0.1
  done
}
busiest_first() {
  pane | awk -v want="$spinner" '$1 == "PID" { getline; exit !($1 == want && $5 + 0 > 10) }'
}
shows() { pane | grep -q -- "$1"; }

# A busy process and an idle one.
sh -c 'while :; do :; done' &
spinner=$!
sleep 1000 &
sleeper=$!

if [ -n "$launcher" ]; then
  WINEPREFIX=$dir/wine
  export WINEPREFIX
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$launcher" wineboot --init >/dev/null 2>&1 || true
  zelps="$launcher $zelps"
  select=""
  listed="zelps: [0-9]* processes, every 0.3 s"
else
  select="-p $spinner,$sleeper"
  listed="zelps: 2 processes, every 0.3 s"
fi

tmux -S "$socket" -f /dev/null new-session -d -s zelps -x 120 -y 30 sh
for key in q C-c; do
  rm -f "$dir/status"
  # Wine's console gives the settings back a moment after zelps has ended:
  # they are read until they are as before, for at most five seconds.
  tmux -S "$socket" send-keys -t zelps "clear; stty -g >$dir/before; echo before-zelps; \
$zelps -s 0.3 $select; echo \$? >$dir/status; for i in 1 2 3 4 5 6 7 8 9 10; do \
stty -g >$dir/settings; cmp -s $dir/before $dir/settings && break; sleep 0.5; done; \
mv $dir/settings $dir/after" Enter
  until_true shows "$listed" || fail "no table on the screen"
  [ "$(alternate)" = 1 ] || fail "the table is not on the alternate screen"
  [ -n "$launcher" ] || until_true busiest_first ||
    fail "the busy process $spinner is not first with over 10 %"
  tmux -S "$socket" send-keys -t zelps "$key"
  until_true test -s "$dir/after" -a -s "$dir/status" || fail "$key did not end the refresh mode"
  [ "$(cat "$dir/status")" = 0 ] || fail "$key: exit status $(cat "$dir/status")"
  [ "$(alternate)" = 0 ] || fail "$key left the alternate screen on"
  cmp -s "$dir/before" "$dir/after" || fail "$key left the terminal's settings changed"
  shows before-zelps || fail "$key did not bring the screen back"
  ! shows "%CPU" || fail "$key left the table on the screen"
  rm -f "$dir/after"
done

[ -z "$launcher" ] || exit 0

# A narrow terminal keeps the name; the columns before it make way.
tmux -S "$socket" resize-window -t zelps -x 40
tmux -S "$socket" send-keys -t zelps "clear; $zelps -s 0.3 -p $sleeper" Enter
until_true shows "zelps: 1 processes" || fail "no table on the narrow screen"
until_true shows "^ *$sleeper .* sleep" || fail "the name column is cut off the narrow screen"
tmux -S "$socket" send-keys -t zelps q

# Not a terminal: two plain tables, a blank line between them.
"$zelps" --watch 0.2 -n 2 -p "$sleeper" | cat >"$dir/plain"
[ "$(grep -c '^ *PID .*%CPU' "$dir/plain")" = 2 ] || fail "not two tables: $(cat "$dir/plain")"
[ "$(grep -c '^$' "$dir/plain")" = 1 ] || fail "no blank line between the tables"
! grep -q "$(printf '\033')" "$dir/plain" || fail "escape sequences without a terminal"
# CSV is one stream of records under one header.
"$zelps" --watch 0.2 -n 2 --format csv -o pid,name -p "$sleeper" >"$dir/csv"
[ "$(grep -c '^"PID","NAME"' "$dir/csv")" = 1 ] || fail "not one CSV header: $(cat "$dir/csv")"
[ "$(grep -c "^\"$sleeper\"," "$dir/csv")" = 2 ] || fail "not two CSV records: $(cat "$dir/csv")"
