"""The C interface from Python with ctypes alone: lists the processes (ID,
parent, name, thread count) through the shared object and holds the listing
against zelps --json.

Processes start, end and change between the runs, so the library lists
them once before zelps runs and once after: a process that all three saw
under one name must have that name in zelps, the parent of one of the
library's two listings (an orphan is adopted) and a thread count between
their two; only a few may have changed and changed back in between. Most
processes must be seen by all three.

    python3 ctypes_listing.py LIBRARY ZELPS
"""
import ctypes
import json
import os
import subprocess
import sys

NO_MORE_ITEMS = 259
P = ctypes.c_void_p
# Each function used: its result type, then its argument types.
SIGNATURES = {
    "zel_process_create": (ctypes.c_uint32, [ctypes.POINTER(P)]),
    "zel_process_destroy": (None, [P]),
    "zel_last_error": (ctypes.c_uint32, [P]),
    "zel_find_first_process": (P, [P, ctypes.c_char_p]),
    "zel_find_next_process": (ctypes.c_int, [P, P]),
    "zel_close_handle": (ctypes.c_int, [P, P]),
    "zel_get_process_id": (ctypes.c_uint32, [P, P]),
    "zel_get_parent_process": (ctypes.c_uint32, [P, P]),
    "zel_get_thread_count": (ctypes.c_uint32, [P, P]),
    "zel_get_name": (ctypes.c_size_t, [P, P, ctypes.c_char_p, ctypes.c_size_t]),
    "zel_get_command_line": (ctypes.c_size_t, [P, P, ctypes.c_char_p, ctypes.c_size_t]),
    "zel_error_message": (ctypes.c_size_t, [ctypes.c_uint32, ctypes.c_char_p, ctypes.c_size_t]),
}


def load(path):
    lib = ctypes.CDLL(path)
    for name, (result, arguments) in SIGNATURES.items():
        function = getattr(lib, name)
        function.restype, function.argtypes = result, arguments
    return lib


def text(function, *arguments):
    """A string of the interface: sized by a call without a buffer, then read."""
    length = function(*arguments, None, 0)
    while True:
        buffer = ctypes.create_string_buffer(length + 1)
        needed = function(*arguments, buffer, length + 1)
        if needed <= length:
            return buffer.value.decode()
        length = needed


def fail(message):
    sys.exit("ctypes_listing.py: FAIL: " + message)


def listing(lib):
    """{pid: (ppid, name, threads)}, and this process's command line."""
    processes = P()
    code = lib.zel_process_create(ctypes.byref(processes))
    if code != 0:
        fail("zel_process_create: " + text(lib.zel_error_message, code))
    rows, own_command_line = {}, None
    try:
        find = lib.zel_find_first_process(processes, None)
        while find:
            pid = lib.zel_get_process_id(processes, find)
            rows[pid] = (lib.zel_get_parent_process(processes, find),
                         text(lib.zel_get_name, processes, find),
                         lib.zel_get_thread_count(processes, find))
            if pid == os.getpid():
                own_command_line = text(lib.zel_get_command_line, processes, find)
            if not lib.zel_find_next_process(processes, find):
                break
        code = lib.zel_last_error(processes)
        if find:
            lib.zel_close_handle(processes, find)
    finally:
        lib.zel_process_destroy(processes)
    if code != NO_MORE_ITEMS:
        fail("the walk ended with %d: %s" % (code, text(lib.zel_error_message, code)))
    return rows, own_command_line


def main():
    lib = load(sys.argv[1])
    before, own_command_line = listing(lib)
    run = subprocess.run([sys.argv[2], "--json"], capture_output=True, text=True, check=True)
    zelps = {}
    for line in run.stdout.splitlines():
        row = json.loads(line)
        zelps[row["id"]] = (row["parentId"], row["name"], row["threadCount"])
    after, _ = listing(lib)

    if own_command_line is None or os.path.basename(__file__) not in own_command_line:
        fail("this process's command line reads %r" % own_command_line)
    common = [pid for pid in before
              if pid in after and pid in zelps and before[pid][1] == after[pid][1]]
    if len(common) < 0.9 * max(len(before), len(after), len(zelps)):
        fail("only %d processes seen by all three of %d, %d and %d"
             % (len(common), len(before), len(zelps), len(after)))
    differing = []
    for pid in common:
        (parent, name, threads), later = before[pid], after[pid]
        z_parent, z_name, z_threads = zelps[pid]
        if (z_name != name or z_parent not in (parent, later[0])
                or not min(threads, later[2]) <= z_threads <= max(threads, later[2])):
            differing.append((pid, before[pid], zelps[pid], later))
    if len(differing) > max(2, len(common) // 50):
        fail("%d of %d processes differ from zelps (before, zelps, after): %s"
             % (len(differing), len(common), differing))
    print("ctypes_listing.py: %d processes as zelps lists them, %d changed in between"
          % (len(common), len(differing)))


if __name__ == "__main__":
    main()
