#!/bin/sh
# Installs what is missing, builds both targets and runs every test: the
# Linux ones natively (the unit tests also under the sanitizers), the Windows
# ones under Wine in a private prefix, with an X server of their own for the
# windows they make.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" linux
"$root/scripts/build.sh" linux-sanitized
"$root/scripts/build.sh" linux-thread-sanitized
"$root/scripts/build.sh" windows

. "$root/scripts/wine-prefix.sh"
. "$root/scripts/xvfb.sh"
trap 'zel_wine_stop; zel_xvfb_stop' EXIT
trap 'exit 1' INT TERM

# The 32-bit Wine loader is the plainest 32-bit x86 program the machine has:
# where the kernel refuses to execute it (126), no 32-bit process can start,
# and the 32-bit child's tests say so instead of running.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then :; elif [ $? -eq 126 ]; then
  ZEL_NO_32BIT_PROCESSES="this machine does not execute 32-bit x86 code (the kernel refuses the 32-bit Wine loader)"
  export ZEL_NO_32BIT_PROCESSES
  echo "NOTE: $ZEL_NO_32BIT_PROCESSES; the 32-bit child's tests do not run" >&2
fi

status=0
ctest --test-dir "$root/build/linux" --output-on-failure || status=1
# The unit tests, the C interface and the lister under churn again, where a
# leak, an out-of-bounds access or undefined behaviour fails them.
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
  ctest --test-dir "$root/build/linux-sanitized" --output-on-failure \
  -R '^(unit|linux|framework|concurrency|zelps|c_interface)_tests$|^c_interface_python$|^churn_(lister|leaks)$' \
  || status=1
# Threads with objects of their own, where a data race fails them.
TSAN_OPTIONS=halt_on_error=1 "$root/build/linux-thread-sanitized/bin/concurrency_tests" || status=1
# Short fuzzing runs, from the corpora kept in fuzz/corpus.
"$root/scripts/fuzz.sh" || status=1

zel_xvfb_start
zel_wine_start
ctest --test-dir "$root/build/windows" --output-on-failure || status=1
exit $status
