// Process metrics in the text format that Prometheus scrapes and that
// node_exporter's textfile collector reads: per process its CPU seconds by
// mode, working set and private bytes, threads and start time, labelled
// with its pid, ppid, name and user, closed by "# EOF".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "process_rows.h"

namespace zelps {

// A label value between its quotes: backslash, quote and line feed escaped.
std::string EscapeLabelValue(std::string_view text);

// Every family with its HELP and TYPE lines, even when there are no rows.
// Counters carry "_total" in the name that their TYPE line gives, as the
// textfile collector needs to keep their type.
std::string OpenMetricsText(const std::vector<ProcessRow>& rows);

}  // namespace zelps
