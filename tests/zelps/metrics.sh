#!/bin/sh
# zelps' metrics, each format read by its own reader: OpenMetrics by the
# OpenMetrics parser of python3-prometheus-client, with the families' types
# and the label values as they were; Prometheus' text format by promtool and
# by a real node_exporter, whose textfile collector, pointed at zelps'
# output, serves zelps' series (label values escaped) with their types.
#
#   metrics.sh ZELPS PYTHON3
set -eu
zelps=$1
python=$2
. "$(dirname "$0")/../support/test_lib.sh"
scratch zelps-metrics
exporter=""
named=""
before_exit() { stop $exporter $named; }

# A process whose name needs escaping in a label value: a"b\c
cp /bin/sleep "$dir/a\"b\\c"
"$dir/a\"b\\c" 1000 &
named=$!

"$zelps" --format openmetrics >"$dir/all.om"
"$python" - "$dir/all.om" "$named" <<'PY' || fail "the OpenMetrics parser refused the metrics"
import sys
from prometheus_client.openmetrics.parser import text_string_to_metric_families
with open(sys.argv[1]) as f:
    families = {f.name: f for f in text_string_to_metric_families(f.read())}
types = {name: family.type for name, family in families.items()}
want = {"zelps_process_cpu_seconds": "counter", "zelps_process_working_set_bytes": "gauge",
        "zelps_process_private_bytes": "gauge", "zelps_process_threads": "gauge",
        "zelps_process_start_time_seconds": "gauge"}
assert types == want, types
named = [s for s in families["zelps_process_cpu_seconds"].samples if s.labels["pid"] == sys.argv[2]]
assert sorted(s.labels["mode"] for s in named) == ["kernel", "user"], named
assert all(s.name == "zelps_process_cpu_seconds_total" for s in named), named
assert named[0].labels["name"] == 'a"b\\c', named
PY

"$zelps" --format prometheus >"$dir/all.prom"
promtool check metrics <"$dir/all.prom" || fail "promtool refused the metrics"

mkdir "$dir/textfile"
"$zelps" --format prometheus --output "$dir/textfile/zelps.prom"
left=$(ls "$dir/textfile")
[ "$left" = zelps.prom ] || fail "the output left other files: $left"

# A port that is free now; the exporter binds it a moment later.
port=$("$python" -c '
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
prometheus-node-exporter --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
  --collector.textfile --collector.textfile.directory="$dir/textfile" >"$dir/exporter.log" 2>&1 &
exporter=$!
"$python" - "$port" >"$dir/scraped" <<'PY' || fail "no answer: $(cat "$dir/exporter.log")"
import sys, time, urllib.request
for _ in range(100):
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/metrics", timeout=5) as r:
            sys.stdout.write(r.read().decode())
        sys.exit(0)
    except OSError:
        time.sleep(0.1)
sys.exit(1)
PY
grep -qx 'node_textfile_scrape_error 0' "$dir/scraped" ||
  fail "node_exporter could not read the file: $(cat "$dir/exporter.log")"
for family in 'cpu_seconds_total counter' 'working_set_bytes gauge' 'private_bytes gauge' \
  'threads gauge' 'start_time_seconds gauge'; do
  grep -qx "# TYPE zelps_process_$family" "$dir/scraped" || fail "no zelps_process_$family"
done
# node_exporter sorts the labels by name.
series='zelps_process_threads{name="a\"b\\c",pid="'$named'",ppid="'$$'",user="'
grep -qF "$series" "$dir/scraped" ||
  fail "no $series... among: $(grep zelps_process_threads "$dir/scraped")"
grep -q "^zelps_process_cpu_seconds_total{mode=\"kernel\",name=\"a.*pid=\"$named\"" \
  "$dir/scraped" || fail "no kernel CPU seconds of $named"
