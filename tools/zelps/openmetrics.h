// Process metrics for Prometheus: per process its CPU seconds by mode,
// working set and private bytes, threads and start time, labelled with its
// pid, ppid, name and user; in OpenMetrics' text format, or in Prometheus'
// own, which node_exporter's textfile collector reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "process_rows.h"

namespace zelps {

// A label value between its quotes: backslash, quote and line feed escaped.
std::string EscapeLabelValue(std::string_view text);

enum class MetricsFormat { OpenMetrics, Prometheus };

// Every family with its HELP and TYPE lines, even when there are no rows. A
// counter's samples are named with "_total"; OpenMetrics names its family
// without it and ends with "# EOF", while Prometheus' format names the family
// as its samples, which the textfile collector needs to keep the type.
std::string MetricsText(const std::vector<ProcessRow>& rows, MetricsFormat format);

}  // namespace zelps
