#include "openmetrics.h"

#include <charconv>
#include <cstdint>

#include "filetime.h"

namespace zelps {
namespace {

std::string Number(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string Seconds(std::uint64_t ticks) { return Number(double(ticks) / kTicksPerSecond); }

std::string Labels(const ProcessRow& row) {
  return "pid=\"" + std::to_string(row.id) + "\",ppid=\"" + std::to_string(row.parentId) +
         "\",name=\"" + EscapeLabelValue(row.name) + "\",user=\"" + EscapeLabelValue(row.owner) +
         "\"";
}

void Family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& out, std::string_view name, const std::string& labels,
            const std::string& value) {
  out.append(name).append("{").append(labels).append("} ").append(value).append("\n");
}

}  // namespace

std::string EscapeLabelValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string MetricsText(const std::vector<ProcessRow>& rows, MetricsFormat format) {
  std::vector<std::string> labels;
  for (const ProcessRow& row : rows) labels.push_back(Labels(row));
  std::string out;
  const std::string cpuFamily = "zelps_process_cpu_seconds";
  const std::string cpuSamples = cpuFamily + "_total";
  Family(out, format == MetricsFormat::OpenMetrics ? cpuFamily : cpuSamples, "counter",
         "CPU time the process has used since it started, by mode.");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Sample(out, cpuSamples, labels[i] + ",mode=\"user\"", Seconds(rows[i].userTicks));
    Sample(out, cpuSamples, labels[i] + ",mode=\"kernel\"", Seconds(rows[i].kernelTicks));
  }
  auto gauge = [&](std::string_view name, std::string_view help, auto value) {
    Family(out, name, "gauge", help);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto text = value(rows[i]);
      if (text) Sample(out, name, labels[i], *text);
    }
  };
  using Text = std::optional<std::string>;
  gauge("zelps_process_working_set_bytes", "Memory of the process resident in RAM (working set).",
        [](const ProcessRow& row) -> Text { return std::to_string(row.workingSet); });
  gauge("zelps_process_private_bytes", "Memory committed to the process alone (private bytes).",
        [](const ProcessRow& row) -> Text { return std::to_string(row.privateBytes); });
  gauge("zelps_process_threads", "Threads of the process.",
        [](const ProcessRow& row) -> Text { return std::to_string(row.threadCount); });
  // A process that the platform gives no start time (Windows' idle and
  // system processes) has no sample, rather than a start in 1601.
  gauge("zelps_process_start_time_seconds", "Start time of the process since 1970, in seconds.",
        [](const ProcessRow& row) -> Text {
          const auto ticks = TicksSince1970(row.created);
          if (!ticks) return std::nullopt;
          return Seconds(*ticks);
        });
  return format == MetricsFormat::OpenMetrics ? out + "# EOF\n" : out;
}

}  // namespace zelps
