#!/usr/bin/env python3
"""Times the process object against psutil on this machine's processes.

    psutil_compare.py PATH/TO/zel_facts_timing [--rounds N] [--cpu N]

Two jobs, each done by both:

  facts    the snapshot facts of every process: ID, parent, name, thread
           count, creation/user/kernel time, memory (resident and virtual
           size) and I/O counters. The library constructs the object and walks
           it; psutil runs process_iter with the same attributes.
  strings  the live strings of every process: command line, current
           directory, image file and owner. The library constructs and walks;
           psutil runs process_iter(attrs=[cmdline, cwd, exe, username]).

zel_facts_timing stays up in --serve mode and times each library run itself,
so no process start is counted. It and this script are bound to one CPU (the
first this script may use, or --cpu): on a virtual machine the CPUs need not
be equally fast from one moment to the next, and two programs on two of them
would be compared with their CPUs. The rounds interleave the four runs, and the
order alternates between rounds (library first, then psutil first), so that
both meet the same machine and each pays equally for what ran before it.
After warm-up rounds the script prints the medians, the cost per process, and
the ratios library / psutil. The library's snapshot alone (construction and
destruction, no walk) is timed too, to show what part of the facts job it
is; psutil has no counterpart to it. psutil keeps the Process objects of earlier
process_iter calls and checks that each is still the same process; that is
how a program that lists processes repeatedly uses it, and it is timed so.
"""

import argparse
import os
import statistics
import subprocess
import time

import psutil

FACTS = ["pid", "ppid", "name", "num_threads", "create_time", "cpu_times",
         "memory_info", "io_counters"]
STRINGS = ["pid", "cmdline", "cwd", "exe", "username"]
WARM_UP_ROUNDS = 3


def time_psutil(attrs):
    start = time.perf_counter()
    count = sum(1 for _ in psutil.process_iter(attrs=attrs, ad_value=None))
    return (time.perf_counter() - start) * 1e6, count


class Library:
    def __init__(self, program):
        self.server = subprocess.Popen([program, "--serve"], stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, text=True)

    def time(self, job):
        self.server.stdin.write(job + "\n")
        self.server.stdin.flush()
        microseconds, count = self.server.stdout.readline().split()
        return float(microseconds), int(count)

    def close(self):
        self.server.stdin.close()
        self.server.wait()
        self.server.stdout.close()


def main():
    parser = argparse.ArgumentParser(description="library against psutil, interleaved")
    parser.add_argument("timing_host")
    parser.add_argument("--rounds", type=int, default=60)
    parser.add_argument("--cpu", type=int, default=min(os.sched_getaffinity(0)))
    options = parser.parse_args()
    # Before the server starts, so that it inherits the binding.
    os.sched_setaffinity(0, {options.cpu})

    runs = {(who, job): [] for who in ("library", "psutil") for job in ("facts", "strings")}
    runs[("library", "snapshot")] = []
    library = Library(options.timing_host)
    try:
        for round_number in range(-WARM_UP_ROUNDS, options.rounds):
            order = ["library", "psutil"] if round_number % 2 == 0 else ["psutil", "library"]
            snapshot = library.time("snapshot")
            if round_number >= 0:
                runs[("library", "snapshot")].append(snapshot)
            for job, attrs in (("facts", FACTS), ("strings", STRINGS)):
                for who in order:
                    result = library.time(job) if who == "library" else time_psutil(attrs)
                    if round_number >= 0:
                        runs[(who, job)].append(result)
    finally:
        library.close()

    print("%d rounds after %d warm-up rounds, on CPU %d; psutil %s"
          % (options.rounds, WARM_UP_ROUNDS, options.cpu, psutil.__version__))
    print("%-8s %-8s %12s %10s %15s" % ("job", "who", "median us", "processes",
                                        "us per process"))
    per_process = {}
    order = {"snapshot": 0, "facts": 1, "strings": 2}
    for (who, job), results in sorted(runs.items(), key=lambda item: (order[item[0][1]],
                                                                       item[0][0])):
        per_process[(who, job)] = statistics.median(us / max(n, 1) for us, n in results)
        print("%-8s %-8s %12.0f %10.0f %15.2f" % (
            job, who, statistics.median(us for us, _ in results),
            statistics.median(n for _, n in results), per_process[(who, job)]))
    for job in ("facts", "strings"):
        print("ratio library / psutil, %-8s %.2f" % (
            job + ":", per_process[("library", job)] / per_process[("psutil", job)]))


if __name__ == "__main__":
    main()
