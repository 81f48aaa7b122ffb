#!/bin/sh
# What a reader without privileges gets: runs zel_dump_facts as user nobody
# and checks that root's processes are still listed with their names and
# IDs while their live strings are refused with code 5 (ERROR_ACCESS_DENIED),
# and that the reader's own process is read in full.
#
#   unprivileged.sh PYTHON3 ZEL_DUMP_FACTS LIBZELPROCESS LIBZELERROR LIBZELSTRING
#
# Must run as root, which switches to nobody with setpriv. The program and
# its libraries are copied into a fresh directory that everyone may read,
# since the build tree may lie where nobody cannot reach it.
set -eu

if [ $# -ne 5 ]; then
  echo "usage: $0 PYTHON3 ZEL_DUMP_FACTS LIBZELPROCESS LIBZELERROR LIBZELSTRING" >&2
  exit 2
fi
python=$1
dump=$2
shift 2

if [ "$(id -u)" -ne 0 ]; then
  echo "unprivileged.sh: FAIL: running as $(id -un), not root: cannot switch to user nobody" >&2
  exit 1
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/zel-unprivileged.XXXXXX")
sleeper=""
cleanup() {
  if [ -n "$sleeper" ]; then
    kill "$sleeper" 2>/dev/null || true
    wait "$sleeper" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

cp "$dump" "$@" "$dir/"
chmod 755 "$dir" "$dir"/*
# A root process whose strings nobody may read, in a directory nobody may enter.
mkdir "$dir/private"
chmod 700 "$dir/private"
(cd "$dir/private" && exec sleep 1000) &
sleeper=$!
# Named "sleep" only once the subshell has exec'd it.
tries=0
until [ "$(basename "$(readlink "/proc/$sleeper/exe" 2>/dev/null || true)")" = sleep ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ]; then
    echo "unprivileged.sh: FAIL: the root sleeper did not start" >&2
    exit 1
  fi
  sleep 0.05
done

program="$dir/$(basename "$dump")"
if ! (cd "$dir" && setpriv --reuid=65534 --regid=65534 --clear-groups \
      env LD_LIBRARY_PATH="$dir" "$program") >"$dir/facts.json" 2>"$dir/errors.txt"; then
  echo "unprivileged.sh: FAIL: zel_dump_facts did not run as user nobody:" >&2
  cat "$dir/errors.txt" >&2
  exit 1
fi

"$python" - "$dir/facts.json" "$program" "$dir" "$$" "$sleeper" <<'EOF'
import json
import sys

facts, program, workdir = sys.argv[1:4]
shell, sleeper = int(sys.argv[4]), int(sys.argv[5])
ACCESS_DENIED = 5
LIVE_STRINGS = ("commandLine", "currentDirectory", "imageFile")

entries = {}
with open(facts, encoding="utf-8") as f:
    for line in f:
        entry = json.loads(line)
        entries[entry["id"]] = entry

passed = failed = 0


def expect(ok, what):
    global passed, failed
    print("%s: %s" % ("ok" if ok else "FAIL", what))
    if ok:
        passed += 1
    else:
        failed += 1


own = [e for e in entries.values() if e["imageFile"] == program]
expect(len(own) == 1, "the reader's own process is listed once (found %d)" % len(own))
if own:
    me = own[0]
    expect(me["user"] == "nobody", "the reader runs as nobody (user %r)" % me["user"])
    expect(me["commandLine"] == program and me["commandLineError"] is None,
           "its own command line is read (%r)" % me["commandLine"])
    expect(me["currentDirectory"] == workdir,
           "its own current directory is read (%r)" % me["currentDirectory"])

for pid, name in ((sleeper, "sleep"), (shell, None)):
    entry = entries.get(pid)
    expect(entry is not None, "root's process %d is listed" % pid)
    if entry is None:
        continue
    what = "root's %s %d" % (entry["name"], pid)
    expect(entry["name"] != "" and (name is None or entry["name"] == name),
           "%s is listed by name" % what)
    expect(entry["threadCount"] >= 1 and entry["createTime"] > 0,
           "%s has its snapshot facts (threads %d)" % (what, entry["threadCount"]))
    for fact in LIVE_STRINGS:
        expect(entry[fact] == "" and entry[fact + "Error"] == ACCESS_DENIED,
               "%s: %s refused with %d (got %r, code %r)"
               % (what, fact, ACCESS_DENIED, entry[fact], entry[fact + "Error"]))
    print("info: %s: owner %r\\%r, code %r" % (what, entry["domain"], entry["user"],
                                              entry["userError"]))

sleeping = entries.get(sleeper)
expect(sleeping is not None and sleeping["parentId"] == shell,
       "the sleeper's parent is the root shell %d" % shell)
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
EOF
