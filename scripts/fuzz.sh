#!/bin/sh
# Builds the fuzzers (scripts/build.sh linux-fuzz) and runs each for a short
# while from its corpus in fuzz/corpus/. What they find goes to a temporary
# directory, so the repository stays as it is. Fails when a fuzzer finds a
# crash, a leak, undefined behaviour, a failed check or an input that runs
# too long; that input is kept in build/linux-fuzz/findings/.
#
#   ZEL_FUZZ_SECONDS   how long each fuzzer runs (default 20)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${ZEL_FUZZ_SECONDS:-20}
"$root/scripts/build.sh" linux-fuzz >/dev/null

bin="$root/build/linux-fuzz/bin"
findings="$root/build/linux-fuzz/findings"
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for fuzzer in wildcard_list handle_check proc_parsers; do
  mkdir "$work/$fuzzer"
  log="$work/$fuzzer.log"
  # New inputs go to the first directory; the repository's corpus is only read.
  if "$bin/${fuzzer}_fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/$fuzzer-" "$work/$fuzzer" "$root/fuzz/corpus/$fuzzer" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    corpus=$(ls "$root/fuzz/corpus/$fuzzer" | wc -l)
    found=$(ls "$work/$fuzzer" | wc -l)
    echo "fuzz $fuzzer: $runs runs in ${seconds}s from $corpus corpus inputs, $found new, no failure"
  else
    status=1
    echo "fuzz $fuzzer: FAILED; the input is in $findings" >&2
    tail -n 60 "$log" >&2
  fi
done
exit $status
