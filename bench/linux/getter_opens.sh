#!/bin/sh
# What each live getter opens: traces zel_facts_timing --each-getter on a
# sleeping child of this script's own and prints, for each getter, every file
# it opened or link it read and how often, then the most times any getter
# opened one file.
#
#   getter_opens.sh PATH/TO/zel_facts_timing
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 PATH/TO/zel_facts_timing" >&2
  exit 2
fi
trace=$(mktemp "${TMPDIR:-/tmp}/zel-getter-opens.XXXXXX")
sleep 1000 &
sleeper=$!
cleanup() {
  kill "$sleeper" 2>/dev/null || true
  wait "$sleeper" 2>/dev/null || true
  rm -f "$trace"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

strace -o "$trace" -e trace=open,openat,readlink,readlinkat,write \
  "$1" --each-getter "$sleeper" >/dev/null

# The snapshot before the first getter is left out: it is the walk's, not a
# getter's. The process's ID is written as N, so the lines read the same for
# every run.
awk -v pid="$sleeper" '
  /^write\(1, "== / {
    getter = $0
    sub(/^write\(1, "== /, "", getter)
    sub(/\\n".*/, "", getter)
    if (getter != "end") order[++getters] = getter
    next
  }
  getter != "" && getter != "end" && /^(open|openat|readlink|readlinkat)\(/ {
    path = $0
    sub(/^[^"]*"/, "", path)
    sub(/".*/, "", path)
    gsub("/proc/" pid "/", "/proc/N/", path)
    key = getter SUBSEP path
    if (!(key in count)) files[getter] = files[getter] " " path
    count[key]++
  }
  END {
    most = 0
    for (i = 1; i <= getters; i++) {
      g = order[i]
      line = ""
      n = split(files[g], list, " ")
      for (j = 1; j <= n; j++) {
        c = count[g SUBSEP list[j]]
        line = line sprintf("  %s x%d", list[j], c)
        if (c > most) most = c
      }
      printf "%-22s%s\n", g, line
    }
    printf "most opens of one file by one getter: %d\n", most
  }' "$trace"
