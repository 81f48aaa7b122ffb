#!/usr/bin/env python3
"""Holds the Linux port's view of this machine's processes against psutil's.

    psutil_oracle.py PATH/TO/zel_dump_facts

psutil reads every process just before and just after zel_dump_facts prints
the library's facts, so that each fact can be judged against two readings
that bracket the library's own: values that only grow (CPU times, I/O
counters) must lie between them, values that may change (parent, strings,
threads, memory) must match one of them, and values that never change
(creation time) must match both. A process is the same one in every reading
only when its creation time agrees. One that was born or ended during the
run is held only to what its birth or exit cannot change (creation time,
parent, its own consistency), since the library may have looked in the
middle of either; one that lived through the whole run must be listed.

The modules that the library walks (for this script itself, a python that
loads a library with dlopen() after it has started, and the copies of
`sleep` below) must be the executable file mappings of /proc/PID/maps and of
psutil's memory_maps(grouped=False), each file once, the executable first.

Before reading, the script starts children whose facts it knows exactly:
a shell with awkward arguments (its program name holding a quote and a
blank), environment and working directory (and its `sleep` child), a python
with five extra threads that calls itself /usr/sbin/sshd, a zombie, and
copies of `sleep` whose names the kernel cuts at 15 characters: one through
a long-named link, one whose file and directory are removed while it runs,
and one whose file and directory really end in " (deleted)". Their facts
are checked against what was asked for as well as against psutil, and the
run fails unless each of them was compared fact by fact.

Exits 0 when every compared fact agrees, 1 with details otherwise.
"""

import collections
import json
import os
import pwd
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import psutil

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
FILETIME_UNITS = 10_000_000  # 100-ns units a second
UNIX_EPOCH_AS_FILETIME = 116_444_736_000_000_000
ACCESS_DENIED = 5
MIB = 1 << 20
EPSILON = 1e-6


# -- text as the library hands it over ----------------------------------------

def as_library_text(text):
    """psutil keeps undecodable bytes as surrogates; the library gives U+FFFD."""
    return text.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def short(value, limit=100):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "...'"


# -- psutil's readings ----------------------------------------------------------

class Unavailable:
    """A fact psutil may not read (denied, or the process is a zombie)."""

    def __repr__(self):
        return "<unavailable>"


UNAVAILABLE = Unavailable()


def available(value):
    return value is not UNAVAILABLE


def raw_arguments(pid):
    """The argument area as the kernel holds it, NULs and all, or None."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read()
    except OSError:
        return None


def memory_readable(pid):
    """Whether this reader may read the process's memory: the kernel asks the
    same question (may it trace it?) when environ is opened, before any byte
    is read. None for a process that has gone or has no memory."""
    try:
        os.close(os.open("/proc/%d/environ" % pid, os.O_RDONLY))
        return True
    except PermissionError:
        return False
    except OSError:
        return None


def read_process(pid, with_environment=False):
    """psutil's facts of one process, or None when it ended while read."""
    try:
        process = psutil.Process(pid)
        facts = {"pid": pid}
        with process.oneshot():
            def fact(name, read):
                try:
                    facts[name] = read()
                except (psutil.AccessDenied, psutil.ZombieProcess):
                    facts[name] = UNAVAILABLE

            # Which process this is: without it nothing else can be matched.
            facts["create_time"] = process.create_time()
            fact("ppid", process.ppid)
            fact("name", process.name)
            fact("status", process.status)
            fact("exe", process.exe)
            fact("threads", lambda: sorted(t.id for t in process.threads()))
            fact("cpu_times", process.cpu_times)
            fact("memory_info", process.memory_info)
            fact("io_counters", process.io_counters)
            fact("cmdline", process.cmdline)
            fact("cwd", process.cwd)
            fact("username", process.username)
            fact("uids", process.uids)
            if with_environment:
                fact("environ", process.environ)
        facts["raw_arguments"] = raw_arguments(pid)
        facts["memory_readable"] = memory_readable(pid)
        return facts
    except (psutil.NoSuchProcess, psutil.AccessDenied):
        return None


def read_all(environment_of):
    readings = {}
    for pid in psutil.pids():
        facts = read_process(pid, pid in environment_of)
        if facts is not None:
            readings[pid] = facts
    return readings


# -- the children whose facts are known ----------------------------------------

SHELL_ARGUMENTS = [
    "-c",
    "sleep 1000; :",
    "zel-oracle",
    "plain",
    "with space",
    'quo"te',
    "back\\slash",
    "trailing backslash\\",
    'slash and quote \\" mixed',
    "",
    "tab\there",
    "new\nline",
    "ünïcødé ✓ 日本語 😀",
    '\\\\"',
    '"quoted"',
    "  leading and trailing  ",
]
# A quote and a blank: no Windows command line can carry this name as it is,
# but every argument after it must split back exactly.
SHELL_PROGRAM_NAME = 'zel "oracle shell'
SHELL_ENVIRONMENT = {
    # Longer than GetEnvironmentBuffer's copy of 4096 bytes on its own.
    "ZEL_ORACLE_LONG": "l" * 6000,
    "PATH": "/usr/bin:/bin",
    "ZEL_ORACLE_MARK": "value with spaces, \"quotes\" and ünïcødé ✓",
    "ZEL_ORACLE_EMPTY": "",
    "LC_ALL": "C.UTF-8",
}
# A name a process may give itself; it must not be listed by it.
THREAD_CHILD_PROGRAM_NAME = "/usr/sbin/sshd"
THREAD_CHILD_EXTRA_THREADS = 5
THREAD_CHILD_CODE = r"""
import sys, threading, time
stop = threading.Event()
ids = []
def work():
    ids.append(threading.get_native_id())
    stop.wait()
for _ in range(%d):
    threading.Thread(target=work, daemon=True).start()
while len(ids) < %d:
    time.sleep(0.01)
print(threading.get_native_id(), *ids, flush=True)
sys.stdin.read()
""" % (THREAD_CHILD_EXTRA_THREADS, THREAD_CHILD_EXTRA_THREADS)


# A library that no python maps until it loads it, and the child that
# loads it once told to, after it has started.
LOADED_LATER = "libcrypt.so.1"
LOADING_CHILD_CODE = r"""
import ctypes, sys
sys.stdin.readline()
ctypes.CDLL(sys.argv[1])
print("loaded", flush=True)
sys.stdin.read()
"""


def end_piped(child):
    """Ends a child that reads its standard input until it closes."""
    child.stdin.close()
    try:
        child.wait(timeout=10)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()
    child.stdout.close()


class Children:
    """The children this run starts, ended and reaped on every path, and what
    each of them is known to be (`known`, by pid)."""

    def __init__(self):
        self.workdir = tempfile.mkdtemp(prefix="zel oracle ü ")
        self.shell = None
        self.sleeper_pid = None
        self.threads = None
        self.zombie = None
        self.copies = []
        self.loader = None
        self.known = {}

    def start(self):
        self.shell = subprocess.Popen(
            [SHELL_PROGRAM_NAME] + SHELL_ARGUMENTS,
            executable="/bin/sh", cwd=self.workdir, env=SHELL_ENVIRONMENT,
            start_new_session=True, stdin=subprocess.DEVNULL)
        thread_argv = [THREAD_CHILD_PROGRAM_NAME, "-c", THREAD_CHILD_CODE, "thread child"]
        self.threads = subprocess.Popen(
            thread_argv, executable=sys.executable, cwd=self.workdir,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.threads.stdout], [], [], 30)
        if not ready:
            raise RuntimeError("the thread child did not report its threads within 30 s")
        thread_ids = sorted(int(x) for x in self.threads.stdout.readline().split())
        self.zombie = subprocess.Popen(["/bin/true"], stdin=subprocess.DEVNULL)
        self._start_sleep_copies()
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.sleeper_pid is None:
                sleepers = psutil.Process(self.shell.pid).children()
                if sleepers:
                    self.sleeper_pid = sleepers[0].pid
            zombie_ready = psutil.Process(self.zombie.pid).status() == psutil.STATUS_ZOMBIE
            if self.sleeper_pid is not None and zombie_ready:
                # Let the sleeper finish exec'ing before anything reads it.
                if psutil.Process(self.sleeper_pid).name() == "sleep":
                    break
            time.sleep(0.02)
        else:
            raise RuntimeError("the children did not settle within 10 s")

        sleep_exe = os.path.realpath(shutil.which("sleep", path=SHELL_ENVIRONMENT["PATH"]))
        self.known[self.shell.pid] = {
            "name": "sh",
            "parentId": os.getpid(),
            "threadIds": [self.shell.pid],
            # Its quotes left out, since a quoted program name cannot hold one.
            "argv": [SHELL_PROGRAM_NAME.replace('"', "")] + SHELL_ARGUMENTS,
            "currentDirectory": self.workdir,
            "imageFile": os.path.realpath("/bin/sh"),
            "environment": ["%s=%s" % kv for kv in SHELL_ENVIRONMENT.items()],
        }
        self.known[self.sleeper_pid] = {
            "name": "sleep",
            "parentId": self.shell.pid,
            "threadIds": [self.sleeper_pid],
            "argv": ["sleep", "1000"],
            "currentDirectory": self.workdir,
            "imageFile": sleep_exe,
        }
        self.known[self.threads.pid] = {
            "name": os.path.basename(sys.executable),
            "parentId": os.getpid(),
            "threadIds": thread_ids,
            "argv": thread_argv,
            "currentDirectory": self.workdir,
            "imageFile": os.path.realpath(sys.executable),
        }
        self.known[self.zombie.pid] = {
            "name": "true",
            "parentId": os.getpid(),
            "threadIds": [self.zombie.pid],
            "argv": [],
        }

    def start_loader(self):
        """The child that loads LOADED_LATER with dlopen() once it runs; the
        path of the library, as its maps names it."""
        self.loader = subprocess.Popen(
            [sys.executable, "-c", LOADING_CHILD_CODE, LOADED_LATER],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if any(LOADED_LATER in path for path in mapped_paths(self.loader.pid)):
            raise RuntimeError("%s is mapped before it is loaded" % LOADED_LATER)
        self.loader.stdin.write("load\n")
        self.loader.stdin.flush()
        ready, _, _ = select.select([self.loader.stdout], [], [], 30)
        if not ready or self.loader.stdout.readline() != "loaded\n":
            raise RuntimeError("the loading child did not load %s" % LOADED_LATER)
        loaded = [path for path in mapped_paths(self.loader.pid) if LOADED_LATER in path]
        if not loaded:
            raise RuntimeError("%s is not mapped once loaded" % LOADED_LATER)
        return os.path.realpath(loaded[0])

    def _start_sleep_copies(self):
        """Copies of sleep under names longer than the kernel's 15 characters."""
        sleep = os.path.realpath(shutil.which("sleep", path=SHELL_ENVIRONMENT["PATH"]))
        link = os.path.join(self.workdir, "zel-oracle-linked-sleep")
        os.symlink(sleep, link)
        self._start_copy("zel-oracle-linked-sleep", [link, "1000"], link, self.workdir, sleep)

        removed_dir = os.path.join(self.workdir, "removed dir")
        removed = os.path.join(removed_dir, "zel-oracle-removed-sleep")
        os.mkdir(removed_dir)
        shutil.copy(sleep, removed)
        self._start_copy("zel-oracle-removed-sleep", [removed, "1000"], removed, removed_dir,
                         removed)
        os.remove(removed)
        os.rmdir(removed_dir)

        kept_dir = os.path.join(self.workdir, "kept dir (deleted)")
        kept = os.path.join(kept_dir, "zel-oracle-kept (deleted)")
        os.mkdir(kept_dir)
        shutil.copy(sleep, kept)
        # argv[0] does not complete the cut name, so ps and psutil show it cut.
        self._start_copy("zel-oracle-kept", ["sleep", "1000"], kept, kept_dir, kept)

    def _start_copy(self, name, argv, executable, cwd, image_file):
        # Popen returns once the child has exec'd the program.
        child = subprocess.Popen(argv, executable=executable, cwd=cwd,
                                 stdin=subprocess.DEVNULL)
        self.copies.append(child)
        self.known[child.pid] = {
            "name": name,
            "parentId": os.getpid(),
            "threadIds": [child.pid],
            "argv": argv,
            "currentDirectory": cwd,
            "imageFile": image_file,
        }

    def pids(self):
        return set(self.known)

    def stop(self):
        if self.shell is not None:
            try:
                os.killpg(self.shell.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            self.shell.wait()
        if self.threads is not None:
            end_piped(self.threads)
        if self.zombie is not None:
            self.zombie.wait()
        for copy in self.copies:
            copy.kill()
            copy.wait()
        if self.loader is not None:
            end_piped(self.loader)
        shutil.rmtree(self.workdir)


# -- the comparison ------------------------------------------------------------

class Verdicts:
    def __init__(self):
        self.compared = collections.Counter()
        self.skipped = collections.Counter()
        self.failed = collections.Counter()
        self.facts_of = collections.defaultdict(set)
        self.failures = []

    def skip(self, fact):
        self.skipped[fact] += 1

    def judge(self, entry, fact, ok, detail=""):
        self.compared[fact] += 1
        self.facts_of[entry["id"]].add(fact)
        if not ok:
            self.failed[fact] += 1
            self.failures.append("pid %d (%s) %s: %s" % (entry["id"], entry["name"], fact, detail))

    def fail(self, what):
        self.failed["(run)"] += 1
        self.failures.append(what)


def seconds(filetime_units):
    return filetime_units / FILETIME_UNITS


def epoch_seconds(filetime):
    return (filetime - UNIX_EPOCH_AS_FILETIME) / FILETIME_UNITS


def is_kernel_thread(reading):
    return reading["pid"] == 2 or reading["ppid"] == 2


def runs_a_thread(pid):
    """psutil calls a process whose main thread has exited a zombie; the
    library reads it through a thread that still runs."""
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/stat" % (pid, task)) as stat:
                if stat.read().rpartition(")")[2].split()[0] not in ("Z", "X"):
                    return True
    except OSError:
        pass
    return False


def main_thread_exited(readings):
    """psutil reads such a process's strings from its main thread's entry,
    which is empty: it cannot tell them."""
    return any(r["status"] == psutil.STATUS_ZOMBIE and runs_a_thread(r["pid"]) for r in readings)


def memoryless(reading):
    """Kernel threads, zombies and processes in the middle of their exit
    have no user memory for live strings to come from."""
    if is_kernel_thread(reading):
        return True
    ending = (reading["status"] == psutil.STATUS_ZOMBIE
              or (reading["exe"] == "" and reading["cmdline"] == []))
    return ending and not runs_a_thread(reading["pid"])


def values(readings, key):
    return [r[key] for r in readings if available(r[key])]


def check_one_of(verdicts, entry, fact, library_value, candidates, show=short):
    if not candidates:
        verdicts.skip(fact)
        return
    verdicts.judge(entry, fact, library_value in candidates,
                   "library %s, psutil %s" % (show(library_value),
                                              " / ".join(show(c) for c in candidates)))


def check_between(verdicts, entry, fact, library_value, before, after, slack=0.0):
    """A value that only grows: not below the reading before, not above the one after."""
    if before is None and after is None:
        verdicts.skip(fact)
        return
    ok = library_value >= 0
    if before is not None:
        ok = ok and library_value >= before - slack
    if after is not None:
        ok = ok and library_value <= after + slack
    verdicts.judge(entry, fact, ok, "library %r, psutil before %r, after %r"
                   % (library_value, before, after))


def check_memory(verdicts, entry, fact, library_value, readings_values, exact):
    if not readings_values:
        verdicts.skip(fact)
        return
    low, high = min(readings_values), max(readings_values)
    slack = 0 if exact else max(MIB, high // 10)
    verdicts.judge(entry, fact, low - slack <= library_value <= high + slack,
                   "library %d, psutil %s%s" % (library_value, readings_values,
                                                " (a quiet process: exact)" if exact else ""))


def argument_splits(reading):
    """The argument lists that count as right: psutil's, and where the process
    has rewritten its argument area (psutil then splits at spaces), the
    NUL-separated strings as the kernel holds them, with or without the
    trailing empty ones that the padding leaves."""
    lists = []
    if available(reading["cmdline"]):
        lists.append([as_library_text(a) for a in reading["cmdline"]])
    raw = reading["raw_arguments"]
    if raw:
        parts = [as_library_text(os.fsdecode(p)) for p in raw.split(b"\0")]
        if raw.endswith(b"\0"):
            parts.pop()
        lists.append(parts)
        while parts and parts[-1] == "":
            parts = parts[:-1]
            lists.append(parts)
    return lists


def as_split_back(arguments):
    """The arguments as a Windows command line can carry them: all exactly,
    but a program name that must be quoted (empty, holding a blank, or
    starting with a quote) cannot hold a quote and comes back without."""
    if not arguments:
        return arguments
    name = arguments[0]
    if name == "" or " " in name or "\t" in name or name.startswith('"'):
        name = name.replace('"', "")
    return [name] + arguments[1:]


def check_live_string(verdicts, entry, fact, readings, candidates, guarded=True):
    """A live string: empty with 5 for a process without user memory; refused
    with 5 where this reader may not read the process's memory, which only
    the guarded files ask (exe, cwd and environ; cmdline is anyone's); else
    one of psutil's readings."""
    value, code = entry[fact], entry[fact + "Error"]
    if main_thread_exited(readings):
        verdicts.skip(fact)
        return
    without_memory = [memoryless(r) for r in readings]
    if all(without_memory):
        verdicts.judge(entry, fact + " of a memoryless process",
                       value == "" and code == ACCESS_DENIED,
                       "library %s (code %r) where no user memory exists" % (short(value), code))
        return
    if value == "" and code == ACCESS_DENIED:
        if any(without_memory):
            # It exited between the readings: the library may have looked after.
            verdicts.skip(fact)
            return
        readable = [r["memory_readable"] for r in readings if r["memory_readable"] is not None]
        if guarded and not readable:
            verdicts.skip(fact)
            return
        verdicts.judge(entry, fact + " refused", guarded and not all(readable),
                       "library refused it (5) but this reader may read it")
        return
    if any(without_memory):
        # It exited between the readings: the library may have looked before.
        candidates = candidates + [""]
    if value == "" and code is not None and not candidates:
        verdicts.skip(fact)
        return
    check_one_of(verdicts, entry, fact, value, candidates)


def kernel_worker_name(name):
    """A kernel worker's name ends with the work queue it last served, which
    changes from one moment to the next: only the part before it is its own."""
    return name.split("-", 1)[0] if name.startswith("kworker/") else name


def check_process(verdicts, entry, readings, before, after, quiet):
    """Every fact of one library entry against psutil's readings of the same process."""
    check_one_of(verdicts, entry, "parentId", entry["parentId"], values(readings, "ppid"))

    created = epoch_seconds(entry["createTime"])
    for reading in readings:
        verdicts.judge(entry, "createTime",
                       abs(created - reading["create_time"]) <= 1 / CLOCK_TICKS + EPSILON,
                       "library %.6f, psutil %.6f" % (created, reading["create_time"]))

    ids = sorted(entry["threadIds"])
    verdicts.judge(entry, "threadCount", entry["threadCount"] == len(ids) == len(set(ids)),
                   "count %d, walked %d IDs" % (entry["threadCount"], len(ids)))
    vm = entry["vm"]
    verdicts.judge(entry, "vm peaks", vm["PeakVirtualSize"] >= vm["VirtualSize"]
                   and vm["PeakWorkingSetSize"] >= vm["WorkingSetSize"]
                   and vm["PeakPagefileUsage"] >= vm["PagefileUsage"],
                   "a peak below its current value: %s" % vm)

    if before is None or after is None:
        # Born or ended during the run: the library may have looked in the
        # middle of its exec or its exit, when it has no memory yet or no
        # more, and no reading of psutil's shows that moment.
        verdicts.skip("(born or ended during the run)")
        return

    names = [kernel_worker_name(as_library_text(n)) for n in values(readings, "name")]
    check_one_of(verdicts, entry, "name", kernel_worker_name(entry["name"]), names)

    thread_sets = [set(t) for t in values(readings, "threads")]
    if not thread_sets:
        verdicts.skip("threadIds")
    elif set(ids) in thread_sets:
        verdicts.judge(entry, "threadIds", True)
    elif len(thread_sets) == 2 and thread_sets[0] != thread_sets[1]:
        # The set changed between the readings: the threads alive at both
        # were alive when the library looked.
        lasting = thread_sets[0] & thread_sets[1]
        verdicts.judge(entry, "threadIds (changing)", lasting <= set(ids),
                       "library lacks %s, alive before and after" % sorted(lasting - set(ids)))
    else:
        verdicts.judge(entry, "threadIds", False,
                       "library %s, psutil %s" % (ids, [sorted(s) for s in thread_sets]))

    for fact, field in (("userTime", "user"), ("kernelTime", "system")):
        check_between(verdicts, entry, fact, seconds(entry[fact]),
                      getattr(before["cpu_times"], field)
                      if available(before["cpu_times"]) else None,
                      getattr(after["cpu_times"], field)
                      if available(after["cpu_times"]) else None, EPSILON)

    memory = values(readings, "memory_info")
    check_memory(verdicts, entry, "WorkingSetSize", vm["WorkingSetSize"],
                 [m.rss for m in memory], quiet)
    check_memory(verdicts, entry, "VirtualSize", vm["VirtualSize"], [m.vms for m in memory], quiet)

    io = entry["io"]
    readable_io = values(readings, "io_counters")
    io_refused = entry["ioError"] is not None or len(readable_io) < len(readings)
    if io_refused:
        # Refused exactly where psutil is refused, never given as zeros.
        verdicts.judge(entry, "io refused", entry["ioError"] == ACCESS_DENIED and not readable_io,
                       "library code %r, psutil read them %d of %d times"
                       % (entry["ioError"], len(readable_io), len(readings)))
    for fact, field in (("ReadOperationCount", "read_count"),
                        ("WriteOperationCount", "write_count"),
                        ("ReadTransferCount", "read_chars"),
                        ("WriteTransferCount", "write_chars")):
        if not io_refused:
            check_between(verdicts, entry, fact, io[fact],
                          getattr(before["io_counters"], field),
                          getattr(after["io_counters"], field))

    splits = [as_split_back(s) for r in readings for s in argument_splits(r)]
    if entry["commandLine"] == "" and entry["commandLineError"] not in (None, 0):
        check_live_string(verdicts, entry, "commandLine", readings, [], guarded=False)
    elif splits and not main_thread_exited(readings):
        library_args = entry["commandArguments"]
        detail = ""
        if library_args not in splits:
            other = splits[0]
            at = next((i for i, (a, b) in enumerate(zip(library_args, other)) if a != b),
                      min(len(library_args), len(other)))
            detail = "%d arguments against %d; argument %d: library %s, psutil %s" % (
                len(library_args), len(other), at,
                short(library_args[at] if at < len(library_args) else None, 60),
                short(other[at] if at < len(other) else None, 60))
        verdicts.judge(entry, "commandLine", library_args in splits, detail)
    else:
        verdicts.skip("commandLine")

    check_live_string(verdicts, entry, "currentDirectory", readings,
                      [as_library_text(c) for c in values(readings, "cwd")])
    check_live_string(verdicts, entry, "imageFile", readings,
                      [as_library_text(e) for e in values(readings, "exe")])

    names = []
    for reading in readings:
        if available(reading["username"]) and available(reading["uids"]):
            try:
                pwd.getpwuid(reading["uids"].real)
            except KeyError:
                continue  # no account: psutil makes up the number as a name
            names.append(reading["username"])
    if entry["userError"] is None:
        check_one_of(verdicts, entry, "user", entry["user"], names)
        verdicts.judge(entry, "domain", entry["domain"] == socket.gethostname(),
                       "library %r, host %r" % (entry["domain"], socket.gethostname()))
    elif names:
        verdicts.judge(entry, "user", False, "library failed with %d; psutil names %r"
                       % (entry["userError"], names))
    else:
        verdicts.skip("user")


def environment_as_psutil_reads_it(variables):
    """psutil's parse of the same block: NAME=value up to the first empty
    string, without entries that have no name."""
    parsed = {}
    for variable in variables:
        if variable == "":
            break
        name, equals, value = variable.partition("=")
        if equals and name:
            parsed[name] = value
    return parsed


def check_environment(verdicts, entry, readings):
    if entry.get("environment") is None:
        verdicts.judge(entry, "environment", False,
                       "no copy (code %s)" % entry.get("environmentError"))
        return
    library = environment_as_psutil_reads_it(entry["environment"])
    psutil_ones = [{k: as_library_text(v) for k, v in r["environ"].items()}
                   for r in readings if available(r.get("environ", UNAVAILABLE))]
    if not psutil_ones:
        verdicts.skip("environment")
        return
    if entry["environmentComplete"]:
        ok = library in psutil_ones
    else:
        # A block past the library's limit is cut: the library's variables
        # must be the first ones of the block.
        ok = any(list(library.items()) == list(p.items())[:len(library)] for p in psutil_ones)
    # Names only: values are the process's own business.
    verdicts.judge(entry, "environment", ok, "library names %s, psutil names %s"
                   % (sorted(library), [sorted(p) for p in psutil_ones]))


# -- the modules -----------------------------------------------------------------

def mapped_paths(pid):
    with open("/proc/%d/maps" % pid) as f:
        return [line.split(None, 5)[5].rstrip("\n") for line in f if len(line.split(None, 5)) > 5]


def without_deleted_mark(path):
    """The kernel's " (deleted)", taken off when no file of the marked name
    exists, as psutil and the library take it off."""
    if path.endswith(" (deleted)") and not os.path.lexists(path):
        return path[:-len(" (deleted)")]
    return path


def modules_of(mappings, exe):
    """The modules of (start, end, perms, path) mappings: each file with an
    executable mapping, and [vdso], once, with the span of all its mappings;
    the executable first, the others by address."""
    files = {}
    for start, end, perms, path in mappings:
        if not (path.startswith("/") or path == "[vdso]"):
            continue
        span = files.setdefault(path, [start, end, False])
        span[0], span[1] = min(span[0], start), max(span[1], end)
        span[2] = span[2] or "x" in perms
    kept = sorted((p for p in files if files[p][2]), key=lambda p: files[p][0])
    kept.sort(key=lambda p: p != exe)
    return [(os.path.basename(p), p, files[p][0], files[p][1] - files[p][0]) for p in kept]


def read_modules(pid):
    """The modules of the process by its maps and by psutil, or None once it
    has gone."""
    try:
        exe = os.readlink("/proc/%d/exe" % pid)
        mappings = []
        with open("/proc/%d/maps" % pid) as f:
            for line in f:
                fields = line.split(None, 5)
                start, end = (int(x, 16) for x in fields[0].split("-"))
                path = fields[5].rstrip("\n") if len(fields) > 5 else ""
                mappings.append((start, end, fields[1], path))
        by_maps = [(os.path.basename(without_deleted_mark(path)), without_deleted_mark(path),
                    base, size) for _, path, base, size in modules_of(mappings, exe)]
        process = psutil.Process(pid)
        by_psutil = modules_of(
            [tuple(int(x, 16) for x in m.addr.split("-")) + (m.perms, m.path)
             for m in process.memory_maps(grouped=False)], process.exe())
        return {"maps": by_maps, "psutil": by_psutil}
    except (OSError, psutil.Error):
        return None


def check_modules(verdicts, entry, before, after):
    if entry.get("modules") is None:
        verdicts.judge(entry, "modules", False, "no walk (code %s)" % entry.get("modulesError"))
        return
    library = [(m["name"], m["path"], m["base"], m["size"]) for m in entry["modules"]]
    verdicts.judge(entry, "modules end", entry["modulesEnd"] == 259,
                   "the walk ended with %s" % entry["modulesEnd"])
    for source in ("maps", "psutil"):
        readings = [r[source] for r in (before, after) if r is not None]
        verdicts.judge(entry, "modules by " + source, library in readings,
                       "library %s, %s %s" % (short(library, 2000), source,
                                              short(readings, 4000)))


# -- the children's known facts ------------------------------------------------

def check_known_children(verdicts, children, by_id, host_user):
    for pid, facts in children.known.items():
        entry = by_id.get(pid)
        if entry is None:
            verdicts.fail("child %d is not in the library's walk" % pid)
            continue
        for fact in ("name", "parentId", "currentDirectory", "imageFile", "environment"):
            if fact in facts:
                verdicts.judge(entry, "known " + fact, entry.get(fact) == facts[fact],
                               "library %s, started with %s" % (short(entry.get(fact), 300),
                                                                short(facts[fact], 300)))
        verdicts.judge(entry, "known threadIds", sorted(entry["threadIds"]) == facts["threadIds"],
                       "library %s, started %s" % (entry["threadIds"], facts["threadIds"]))
        args = entry["commandArguments"]
        verdicts.judge(entry, "known commandLine", args == facts["argv"],
                       "library %s splits into %s, started with %s"
                       % (short(entry["commandLine"], 300), args, facts["argv"]))
        verdicts.judge(entry, "known user", entry["user"] == host_user
                       and entry["domain"] == socket.gethostname(),
                       "library %r\\%r" % (entry["domain"], entry["user"]))


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    dump = sys.argv[1]

    verdicts = Verdicts()
    children = Children()
    try:
        children.start()
        loaded_later = children.start_loader()
        environment_of = {children.shell.pid, children.sleeper_pid}
        walked = {os.getpid(), children.loader.pid} | {c.pid for c in children.copies}
        run_start = time.time()
        readings_before = read_all(environment_of)
        modules_before = {pid: read_modules(pid) for pid in walked}
        command = [dump]
        for pid in sorted(environment_of):
            command += ["--environment", str(pid)]
        for pid in sorted(walked):
            command += ["--modules", str(pid)]
        result = subprocess.run(command, capture_output=True)
        readings_after = read_all(environment_of)
        modules_after = {pid: read_modules(pid) for pid in walked}
    finally:
        children.stop()

    if result.returncode != 0:
        print("zel_dump_facts failed (%d): %s" % (result.returncode,
                                                  result.stderr.decode(errors="replace")))
        return 1
    entries = []
    for number, line in enumerate(result.stdout.decode("utf-8").splitlines(), 1):
        try:
            entries.append(json.loads(line))
        except json.JSONDecodeError as error:
            verdicts.fail("line %d of the dump is no JSON (%s): %s" % (number, error, short(line)))
    by_id = {}
    for entry in entries:
        if entry["id"] in by_id:
            verdicts.fail("pid %d is listed twice" % entry["id"])
        by_id[entry["id"]] = entry

    known = children.pids()
    same_process = 0
    reused = 0
    for entry in entries:
        created = epoch_seconds(entry["createTime"])

        def same(reading):
            if reading is None:
                return None
            if abs(reading["create_time"] - created) <= 1 / CLOCK_TICKS + EPSILON:
                return reading
            if max(reading["create_time"], created) < run_start - 1:
                return reading  # the same process with a wrong time: judged below
            return None  # the ID was given to another process during the run

        before = same(readings_before.get(entry["id"]))
        after = same(readings_after.get(entry["id"]))
        reused += sum(1 for r in (readings_before.get(entry["id"]),
                                  readings_after.get(entry["id"])) if r is not None) - \
            sum(1 for r in (before, after) if r is not None)
        readings = [r for r in (before, after) if r is not None]
        if not readings:
            continue
        same_process += 1
        check_process(verdicts, entry, readings, before, after, quiet=entry["id"] in known)
        if entry["id"] in environment_of:
            check_environment(verdicts, entry, readings)
        if entry["id"] in walked:
            check_modules(verdicts, entry, modules_before[entry["id"]], modules_after[entry["id"]])

    # A process alive before and after the dump was alive at its snapshot.
    for pid, before in readings_before.items():
        after = readings_after.get(pid)
        if after is None or abs(after["create_time"] - before["create_time"]) > EPSILON:
            continue
        entry = by_id.get(pid)
        if entry is None:
            verdicts.fail("pid %d (%s) lived through the run but is not listed"
                          % (pid, before["name"]))

    host_user = pwd.getpwuid(os.getuid()).pw_name
    check_known_children(verdicts, children, by_id, host_user)
    for pid in walked:
        if "modules by psutil" not in verdicts.facts_of.get(pid, set()):
            verdicts.fail("the modules of %d were not compared" % pid)
    loader = by_id.get(children.loader.pid)
    if loader is None:
        verdicts.fail("the loading child %d is not in the library's walk" % children.loader.pid)
    else:
        verdicts.judge(loader, "module loaded later",
                       any(m["path"] == loaded_later for m in loader.get("modules") or []),
                       "%s is not among %s" % (loaded_later, short(loader.get("modules"), 2000)))
    must_compare = {"parentId", "name", "threadIds", "createTime", "userTime", "kernelTime",
                    "WorkingSetSize", "VirtualSize", "user", "domain"}
    live = {"commandLine", "currentDirectory", "imageFile", "ReadOperationCount",
            "WriteTransferCount"}
    for pid in known:
        wanted = must_compare | (live if pid != children.zombie.pid else
                                 {fact + " of a memoryless process" for fact in
                                  ("commandLine", "currentDirectory", "imageFile")})
        if pid in environment_of:
            wanted.add("environment")
        missing = wanted - verdicts.facts_of.get(pid, set())
        if missing:
            verdicts.fail("child %d was not compared on %s" % (pid, sorted(missing)))

    print("library listed %d processes; psutil read %d before and %d after; "
          "%d compared, %d IDs reused during the run"
          % (len(entries), len(readings_before), len(readings_after), same_process, reused))
    print("own children compared: %s" % ", ".join(
        "%d (%s)" % (pid, facts["name"]) for pid, facts in sorted(children.known.items())))
    print("%-42s %8s %8s %8s" % ("fact", "compared", "failed", "skipped"))
    for fact in sorted(set(verdicts.compared) | set(verdicts.skipped) | set(verdicts.failed)):
        print("%-42s %8d %8d %8d" % (fact, verdicts.compared[fact], verdicts.failed[fact],
                                     verdicts.skipped[fact]))
    for failure in verdicts.failures:
        print("MISMATCH " + failure)
    failed = sum(verdicts.failed.values())
    passed = sum(verdicts.compared.values()) - (failed - verdicts.failed["(run)"])
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or same_process == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
