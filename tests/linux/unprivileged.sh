#!/bin/sh
# What a reader without privileges gets: runs zel_dump_facts as user nobody
# and checks that root's processes are listed with their names and IDs as
# ps shows them, their command lines and owners read (cmdline and status
# are anyone's), their image file, current directory, environment and I/O
# counters and modules refused with code 5 (ERROR_ACCESS_DENIED), and that
# the reader's own process is read in full.
#
#   unprivileged.sh PYTHON3 ZEL_DUMP_FACTS LIBZELPROCESS LIBZELERROR LIBZELSTRING
#
# Must run as root, which switches to nobody with setpriv. The program and
# its libraries are copied into a fresh directory that everyone may read,
# since the build tree may lie where nobody cannot reach it.
set -eu

. "$(dirname "$0")/../support/test_lib.sh"
need_args $# 5 "PYTHON3 ZEL_DUMP_FACTS LIBZELPROCESS LIBZELERROR LIBZELSTRING"
python=$1
dump=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

need_root "cannot switch to user nobody"
scratch zel-unprivileged
sleeper=""
before_exit() { stop $sleeper; }

cp "$dump" "$@" "$dir/"
chmod 755 "$dir" "$dir"/*
# A root process in a directory nobody may enter, with awkward arguments
# and a program name that is another program's: it must be listed by its
# own command name all the same.
mkdir "$dir/private"
chmod 700 "$dir/private"
(cd "$dir/private" && exec "$python" -c 'import os, sys
os.execv(sys.executable, ["/usr/sbin/sshd", "-c", "import time; time.sleep(1000)",
                          "with space", "quo\"te", "", "back\\slash\\"])') &
sleeper=$!
# Its arguments are the ones above only once it has exec'd itself again.
tries=0
until [ "$(tr '\0' '\n' <"/proc/$sleeper/cmdline" 2>/dev/null | head -n 1)" = /usr/sbin/sshd ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ]; then
    echo "unprivileged.sh: FAIL: the root sleeper did not start" >&2
    exit 1
  fi
  sleep 0.05
done

program="$dir/$(basename "$dump")"
# The reader asks for its own environment by its shell's ID, which setpriv
# and env keep as they exec.
if ! sh -c 'cd "$1" && exec setpriv --reuid=65534 --regid=65534 --clear-groups \
      env LD_LIBRARY_PATH="$1" "$2" --environment $$ --environment "$3" --environment "$4" \
        --modules $$ --modules "$3"' \
      sh "$dir" "$program" "$sleeper" "$$" >"$dir/facts.json" 2>"$dir/errors.txt"; then
  echo "unprivileged.sh: FAIL: zel_dump_facts did not run as user nobody:" >&2
  cat "$dir/errors.txt" >&2
  exit 1
fi

"$python" - "$here" "$dir/facts.json" "$program" "$dir" "$$" "$sleeper" <<'EOF'
import json
import socket
import subprocess
import sys

here, facts, program, workdir = sys.argv[1:5]
shell, sleeper = int(sys.argv[5]), int(sys.argv[6])
sys.path.insert(0, here)
from psutil_oracle import as_split_back  # noqa: E402

ACCESS_DENIED = 5

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


def arguments_of(pid):
    with open("/proc/%d/cmdline" % pid, "rb") as f:
        raw = f.read()
    return [a.decode("utf-8", "replace") for a in raw.split(b"\0")[:-1]]


def ps_name(pid):
    return subprocess.run(["ps", "-o", "comm=", "-p", str(pid)], capture_output=True,
                          text=True).stdout.strip()


own = [e for e in entries.values() if e["imageFile"] == program]
expect(len(own) == 1, "the reader's own process is listed once (found %d)" % len(own))
if own:
    me = own[0]
    expect(me["user"] == "nobody", "the reader runs as nobody (user %r)" % me["user"])
    started_with = [program, "--environment", str(me["id"]), "--environment", str(sleeper),
                    "--environment", str(shell), "--modules", str(me["id"]), "--modules",
                    str(sleeper)]
    expect(me["commandArguments"] == started_with,
           "its own command line is read (%r)" % me["commandLine"])
    expect(me["currentDirectory"] == workdir,
           "its own current directory is read (%r)" % me["currentDirectory"])
    expect("LD_LIBRARY_PATH=" + workdir in (me.get("environment") or []),
           "its own environment is read (code %r)" % me.get("environmentError"))
    expect(me["ioError"] is None, "its own I/O counters are read (code %r)" % me["ioError"])
    expect(bool(me.get("modules")) and me["modules"][0]["path"] == program,
           "its own modules are walked, itself first (code %r)" % me.get("modulesError"))

for pid in (sleeper, shell, 1):
    entry = entries.get(pid)
    expect(entry is not None, "root's process %d is listed" % pid)
    if entry is None:
        continue
    what = "root's %s %d" % (entry["name"], pid)
    expect(entry["name"] == ps_name(pid), "%s is listed by the name ps shows (%r)"
           % (what, ps_name(pid)))
    expect(entry["threadCount"] >= 1 and entry["createTime"] > 0,
           "%s has its snapshot facts (threads %d)" % (what, entry["threadCount"]))
    arguments = as_split_back(arguments_of(pid))
    expect(entry["commandLineError"] is None
           and entry["commandArguments"] == arguments,
           "%s: its command line is read and splits into %r (got %r, code %r)"
           % (what, arguments, entry["commandLine"], entry["commandLineError"]))
    for fact in ("currentDirectory", "imageFile"):
        expect(entry[fact] == "" and entry[fact + "Error"] == ACCESS_DENIED,
               "%s: %s refused with %d (got %r, code %r)"
               % (what, fact, ACCESS_DENIED, entry[fact], entry[fact + "Error"]))
    if pid != 1:
        expect(entry.get("environment", "not asked for") is None
               and entry.get("environmentError") == ACCESS_DENIED,
               "%s: environment refused with %d (code %r)"
               % (what, ACCESS_DENIED, entry.get("environmentError")))
    expect(entry["ioError"] == ACCESS_DENIED, "%s: I/O counters refused with %d (code %r)"
           % (what, ACCESS_DENIED, entry["ioError"]))
    if pid == sleeper:
        expect(entry.get("modules", "not asked for") is None
               and entry.get("modulesError") == ACCESS_DENIED,
               "%s: modules refused with %d (code %r)"
               % (what, ACCESS_DENIED, entry.get("modulesError")))
    expect(entry["userError"] is None and entry["user"] == "root"
           and entry["domain"] == socket.gethostname(),
           "%s: its owner is read (%r\\%r, code %r)"
           % (what, entry["domain"], entry["user"], entry["userError"]))

sleeping = entries.get(sleeper)
expect(sleeping is not None and sleeping["parentId"] == shell,
       "the sleeper's parent is the root shell %d" % shell)
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
EOF
