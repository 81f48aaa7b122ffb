#include "listing.h"

#include <algorithm>
#include <optional>

#include "cpu_usage.h"
#include "csv.h"
#include "openmetrics.h"
#include "process_facts.h"
#include "process_json.h"
#include "text_table.h"

namespace zelps {
namespace {

bool Shows(const Options& options, Column column) {
  return std::find(options.columns.begin(), options.columns.end(), column) !=
             options.columns.end() ||
         std::any_of(options.sortKeys.begin(), options.sortKeys.end(),
                     [&](const SortKey& key) { return key.column == column; });
}

// One record a process, or with --threads one a thread (a process without
// threads listed still has one), which carries its process's ID; and its
// depth in the tree with --tree.
std::string CsvText(const std::vector<ProcessRow>& rows, const Options& options,
                    const std::optional<std::vector<std::string>>& headers) {
  const bool idShown = std::find(options.columns.begin(), options.columns.end(), Column::Id) !=
                       options.columns.end();
  std::vector<std::string> threadHeaders{"TID", "TSTART"};
  if (!idShown) threadHeaders.insert(threadHeaders.begin(), "PID");
  std::string text;
  if (headers) {
    std::vector<std::string> fields = *headers;
    if (options.tree) fields.emplace_back("DEPTH");
    if (options.threads) fields.insert(fields.end(), threadHeaders.begin(), threadHeaders.end());
    text += CsvRecord(fields);
  }
  for (const ProcessRow& row : rows) {
    std::vector<std::string> fields;
    for (const Column column : options.columns)
      fields.push_back(column == Column::Modules ? ModulesText(row, ",")
                                                 : Cell(row, column).value_or(""));
    if (options.tree) fields.push_back(std::to_string(row.depth));
    if (!options.threads) {
      text += CsvRecord(fields);
      continue;
    }
    if (!idShown) fields.push_back(std::to_string(row.id));
    fields.resize(fields.size() + 2);
    if (row.threads.empty()) text += CsvRecord(fields);
    for (const ThreadRow& thread : row.threads) {
      fields[fields.size() - 2] = std::to_string(thread.id);
      fields.back() = IsoTime(thread.created).value_or("");
      text += CsvRecord(fields);
    }
  }
  return text;
}

// The creation times are built on the boot time in whole seconds, which
// makes a young process's lifetime CPU % read low; on Linux the time since
// the start is counted from the real boot, as ps counts it.
void CountElapsedAsPs(std::vector<ProcessRow>& rows) {
  const auto fraction = BootTimeFraction();
  if (!fraction) return;
  for (ProcessRow& row : rows)
    if (const auto coarse = ElapsedTicks(row)) row.elapsed = *coarse - std::min(*coarse, *fraction);
}

std::string Joined(const std::vector<std::string>& patterns) {
  std::string joined;
  for (const std::string& pattern : patterns) joined += (joined.empty() ? "" : ";") + pattern;
  return joined;
}

}  // namespace

std::vector<ProcessRow> ReadSelected(CZelProcess& processes, const Options& options,
                                     std::size_t* unreadable) {
  const ReadOptions read{
      .threads = options.threads,
      .commandLine = Shows(options, Column::CommandLine),
      .owner = Shows(options, Column::User) || !options.selection.users.empty() ||
               options.format == Format::OpenMetrics || options.format == Format::Prometheus,
      .wow64 = options.format == Format::Json,
      .nice = Shows(options, Column::Nice),
      .userId = Shows(options, Column::UserId) || ByUserId(options.selection),
      .modules = Shows(options, Column::Modules),
      .modulePattern = options.modules.value_or(""),
  };
  Selection selection = options.selection;
  for (std::string& user : selection.users)
    if (const auto account = AccountOfSid(user)) user = *account;
  auto rows = Select(ReadProcesses(processes, Joined(options.patterns), read), selection);
  if (!read.modulePattern.empty()) {
    const std::size_t unread = std::count_if(rows.begin(), rows.end(), [](const ProcessRow& row) {
      return row.modulesError.has_value();
    });
    if (unreadable) *unreadable = unread;
    std::erase_if(rows, [](const ProcessRow& row) { return row.modules.empty(); });
  }
  const bool lifetime = !options.watchSeconds;
  if (Shows(options, Column::Elapsed) || (lifetime && Shows(options, Column::CpuPercent)))
    CountElapsedAsPs(rows);
  // The plain listing's CPU % is that of the lifetime, as in ps.
  if (lifetime) SetLifetimeCpuPercent(rows);
  return rows;
}

void Order(std::vector<ProcessRow>& rows, const Options& options) {
  SortRows(rows, options.sortKeys);
  // Siblings keep the order the sort gave them.
  if (options.tree) rows = AsTree(std::move(rows));
}

std::optional<std::vector<std::string>> HeaderLine(const Options& options) {
  if (options.noHeaders || std::all_of(options.headers.begin(), options.headers.end(),
                                       [](const std::string& header) { return header.empty(); }))
    return std::nullopt;
  return options.headers;
}

std::string Render(const std::vector<ProcessRow>& rows, const Options& options, bool header) {
  const auto headers = header ? HeaderLine(options) : std::nullopt;
  std::string text;
  switch (options.format) {
    case Format::Table:
      for (const std::string& line : TableLines(rows, options.columns, headers))
        text += line + '\n';
      break;
    case Format::Json: {
      const ReadOptions read{.threads = options.threads,
                             .commandLine = Shows(options, Column::CommandLine),
                             .owner = Shows(options, Column::User)};
      for (const ProcessRow& row : rows)
        text += ProcessJson(row, read, options.tree, options.columns,
                            options.watchSeconds.has_value()) +
                '\n';
      break;
    }
    case Format::Csv: text = CsvText(rows, options, headers); break;
    case Format::OpenMetrics: text = MetricsText(rows, MetricsFormat::OpenMetrics); break;
    case Format::Prometheus: text = MetricsText(rows, MetricsFormat::Prometheus); break;
  }
  return text;
}

}  // namespace zelps
