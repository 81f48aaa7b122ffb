#!/usr/bin/env python3
"""Times the process object against psutil, and zelps against ps, on this
machine's processes.

    psutil_compare.py PATH/TO/zel_facts_timing PATH/TO/zelps
                      [--floor PATH/TO/zel_proc_floor]
                      [--rounds N] [--cpu N] [--extra N]

Five jobs, each done by both sides:

  facts    the snapshot facts of every process: ID, parent, name, thread
           count, creation/user/kernel time, memory (resident and virtual
           size) and I/O counters. The library constructs the object and walks
           it; psutil reads the same attributes of each process that
           process_iter yields.
  strings  the live strings of every process: command line, current
           directory, image file, environment and owner. The library
           constructs and walks; psutil reads cmdline, cwd, exe, environ
           and username.
  modules  the modules of every process: the library constructs, walks and
           walks each process's modules (name, path, base, size); psutil
           reads memory_maps(grouped=False), its one way to them.
  zelps    `zelps` against `ps -eo pid,ppid,nlwp,pri,comm`, the same columns.
  zelps -o pid,ppid,threads,pri,user,name,cmd
           against `ps -eo pid,ppid,nlwp,pri,user,comm,args`.

With --floor, the facts, strings and zelps jobs are also done by
zel_proc_floor, which makes only the reads each job needs (with the check
after each live read), and the library's cost is given as a multiple of that
floor too, and the floor's as a multiple of psutil's or ps' cost: what no
program that makes those reads can go under. The floor never starts a
program: beside ps it leaves out a program's start.

The whole set runs twice in one run: on the processes the machine has, and
again with --extra (default 3000) sleeping processes that this script starts
and ends.

zel_facts_timing stays up in --serve mode and times each library run itself,
so no process start is counted there; zelps and ps are whole programs, and
each of their runs is timed from its spawn to its exit, with its output
going to /dev/null. Everything is bound to one CPU (the first this script
may use, or --cpu): on a virtual machine the CPUs need not be equally fast
from one moment to the next, and two programs on two of them would be
compared with their CPUs. Each round runs every pair once, and the order
within each pair alternates between rounds, so that both sides meet the same
machine and each pays equally for what ran before it. After warm-up rounds
the script prints the medians and, for each pair, the median of the rounds'
own ratios with the 10th and 90th percentiles of them as the spread, and
the strings' ratio once more without the snapshot that the library's walk
stands on (its snapshot run of the same round taken off).
The library's snapshot alone (construction and destruction, no walk) is
timed too, to show what part of the facts job it is; psutil has no
counterpart to it. psutil keeps the Process objects of earlier process_iter
calls and checks that each is still the same process; that is how a program
that lists processes repeatedly uses it, and it is timed so.
"""

import argparse
import os
import statistics
import subprocess
import time

import psutil

FACTS = ["ppid", "name", "num_threads", "create_time", "cpu_times", "memory_info",
         "io_counters"]
STRINGS = ["cmdline", "cwd", "exe", "environ", "username"]
# zelps' options, ps' columns, and the floor's job for the reads zelps needs.
PS_COLUMNS = {
    "zelps": ([], "pid,ppid,nlwp,pri,comm", "facts"),
    "zelps -o pid,ppid,threads,pri,user,name,cmd": (["-o", "pid,ppid,threads,pri,user,name,cmd"],
                                                     "pid,ppid,nlwp,pri,user,comm,args",
                                                     "listing"),
}
WARM_UP_ROUNDS = 3


def time_psutil(attrs):
    """Every attribute of every process, in the library's order. Not
    process_iter(attrs=...): that reads them in an order that changes with
    the interpreter's hash seed and drops a process at the first one that
    says it has gone, which environ says of every kernel thread, so that its
    cost changed twofold from one run to the next."""
    start = time.perf_counter()
    count = 0
    for process in psutil.process_iter():
        with process.oneshot():
            for attr in attrs:
                try:
                    attr(process) if callable(attr) else getattr(process, attr)()
                except (psutil.NoSuchProcess, psutil.AccessDenied):
                    pass
        count += 1
    return (time.perf_counter() - start) * 1e6, count


def time_program(argv):
    """One run of a program, from its spawn to its exit, in microseconds."""
    actions = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = (time.perf_counter() - start) * 1e6
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("%s exited with %d" % (" ".join(argv),
                                                 os.waitstatus_to_exitcode(status)))
    return elapsed, None


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


class Sleepers:
    """Extra processes that do nothing, ended and reaped on every path."""

    def __init__(self, count):
        self.children = []
        try:
            for _ in range(count):
                self.children.append(subprocess.Popen(["sleep", "100000"],
                                                      stdin=subprocess.DEVNULL))
        except BaseException:
            self.stop()
            raise

    def stop(self):
        for child in self.children:
            child.kill()
        for child in self.children:
            child.wait()
        self.children = []


def jobs(library, zelps, floor):
    """Each job as (name, [the library's or zelps' run, psutil's or ps's run,
    and the floor's, if there is one])."""
    for job, attrs in (("facts", FACTS), ("strings", STRINGS)):
        sides = [lambda j=job: library.time(j), lambda a=attrs: time_psutil(a)]
        if floor:
            sides.append(lambda j=job: floor.time(j))
        yield job, sides
    yield "modules", [lambda: library.time("modules"),
                      lambda: time_psutil([lambda p: p.memory_maps(grouped=False)])]
    for name, (options, columns, floor_job) in PS_COLUMNS.items():
        sides = [lambda o=options: time_program([zelps] + o),
                 lambda c=columns: time_program(["/usr/bin/ps", "-eo", c])]
        if floor and floor_job:
            sides.append(lambda j=floor_job: floor.time(j))
        yield name, sides


def run_rounds(library, zelps, floor, rounds):
    """{(job, side): [(microseconds, processes), ...]}, side 0 ours, 1
    theirs, 2 the floor. The order of the sides turns from round to round."""
    runs = {}
    for round_number in range(-WARM_UP_ROUNDS, rounds):
        snapshot = library.time("snapshot")
        if round_number >= 0:
            runs.setdefault(("snapshot", 0), []).append(snapshot)
        for job, runners in jobs(library, zelps, floor):
            sides = list(enumerate(runners))
            turn = round_number % len(sides)
            sides = sides[turn:] + sides[:turn]
            for side, run in sides:
                result = run()
                if round_number >= 0:
                    runs.setdefault((job, side), []).append(result)
    return runs


def percentile(sorted_values, fraction):
    return sorted_values[min(len(sorted_values) - 1, int(fraction * len(sorted_values)))]


def report(title, runs):
    """The medians, and each pair's ratio, ours / theirs, round by round.
    Both sides of a pair do the job for every process of the machine, so
    their whole runs are compared; the cost per process divides by the
    number the library listed."""
    processes = statistics.median(n for _, n in runs[("facts", 0)])
    threads = sum(p.info["num_threads"] or 0
                  for p in psutil.process_iter(attrs=["num_threads"], ad_value=None))
    print("\n%s: %d processes, %d threads" % (title, processes, threads))
    print("%-24s %-8s %12s %15s" % ("job", "side", "median us", "us per process"))
    sides = {"facts": ("library", "psutil", "floor"), "strings": ("library", "psutil", "floor"),
             "modules": ("library", "psutil"), "snapshot": ("library", None)}
    for (job, side), results in runs.items():
        median = statistics.median(us for us, _ in results)
        side_name = sides.get(job, ("zelps", "ps", "floor"))[side]
        print("%-24s %-8s %12.0f %15.2f" % (job, side_name, median, median / processes))
    for job in [job for job, side in runs if side == 1]:
        ratios = sorted(ours[0] / theirs[0] for ours, theirs in zip(runs[(job, 0)],
                                                                    runs[(job, 1)]))
        print_ratio(job, ratios)
    for job in [job for job, side in runs if side == 2]:
        ratios = sorted(ours[0] / floor[0] for ours, floor in zip(runs[(job, 0)],
                                                                  runs[(job, 2)]))
        print_ratio(job + " over the floor", ratios)
        print_ratio("floor of " + job, sorted(floor[0] / theirs[0] for floor, theirs in
                                              zip(runs[(job, 2)], runs[(job, 1)])))
    # What the live reads cost beyond the snapshot that the walk stands on.
    print_ratio("strings less snapshot", sorted(
        (ours[0] - snapshot[0]) / theirs[0] for ours, snapshot, theirs in
        zip(runs[("strings", 0)], runs[("snapshot", 0)], runs[("strings", 1)])))
    if ("strings", 2) in runs:
        print_ratio("strings less snapshot over the floor", sorted(
            (ours[0] - snapshot[0]) / floor[0] for ours, snapshot, floor in
            zip(runs[("strings", 0)], runs[("snapshot", 0)], runs[("strings", 2)])))


def print_ratio(job, ratios):
    print("ratio %-26s %.2f (p10-p90 %.2f-%.2f)" % (
        job + ":", statistics.median(ratios), percentile(ratios, 0.1), percentile(ratios, 0.9)))


def main():
    parser = argparse.ArgumentParser(description="library against psutil and zelps against ps")
    parser.add_argument("timing_host")
    parser.add_argument("zelps")
    parser.add_argument("--rounds", type=int, default=60)
    parser.add_argument("--cpu", type=int, default=min(os.sched_getaffinity(0)))
    parser.add_argument("--floor")
    parser.add_argument("--extra", type=int, default=3000)
    options = parser.parse_args()
    # Before anything starts, so that every program inherits the binding.
    os.sched_setaffinity(0, {options.cpu})

    print("%d rounds after %d warm-up rounds, on CPU %d; psutil %s"
          % (options.rounds, WARM_UP_ROUNDS, options.cpu, psutil.__version__))
    library = Library(options.timing_host)
    floor = Library(options.floor) if options.floor else None
    try:
        report("the machine's own processes",
               run_rounds(library, options.zelps, floor, options.rounds))
        sleepers = Sleepers(options.extra)
        try:
            runs = run_rounds(library, options.zelps, floor, options.rounds)
            report("with %d extra sleeping processes" % options.extra, runs)
        finally:
            sleepers.stop()
    finally:
        library.close()
        if floor:
            floor.close()


if __name__ == "__main__":
    main()
