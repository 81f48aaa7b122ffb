#include "listing.h"

#include <algorithm>

#include "csv.h"
#include "openmetrics.h"
#include "process_json.h"
#include "text_table.h"

namespace zelps {
namespace {

bool Shows(const Options& options, Column column) {
  return std::find(options.columns.begin(), options.columns.end(), column) !=
             options.columns.end() ||
         options.sortKey == column;
}

std::string Joined(const std::vector<std::string>& patterns) {
  std::string joined;
  for (const std::string& pattern : patterns) joined += (joined.empty() ? "" : ";") + pattern;
  return joined;
}

}  // namespace

std::vector<ProcessRow> ReadSelected(CZelProcess& processes, const Options& options) {
  const ReadOptions read{
      .threads = options.threads,
      .commandLine = Shows(options, Column::CommandLine),
      .owner = Shows(options, Column::User) || !options.selection.users.empty() ||
               options.format == Format::OpenMetrics || options.format == Format::Prometheus,
      .wow64 = options.format == Format::Json,
  };
  return Select(ReadProcesses(processes, Joined(options.patterns), read), options.selection);
}

void Order(std::vector<ProcessRow>& rows, const Options& options) {
  if (options.sortKey) SortRows(rows, *options.sortKey, options.descending);
  // Siblings keep the order the sort gave them.
  if (options.tree) rows = AsTree(std::move(rows));
}

std::string Render(const std::vector<ProcessRow>& rows, const Options& options) {
  std::string text;
  switch (options.format) {
    case Format::Table:
      for (const std::string& line : TableLines(rows, options.columns)) text += line + '\n';
      break;
    case Format::Json: {
      const ReadOptions read{.threads = options.threads,
                             .commandLine = Shows(options, Column::CommandLine),
                             .owner = Shows(options, Column::User)};
      for (const ProcessRow& row : rows)
        text += ProcessJson(row, read, options.tree, options.columns) + '\n';
      break;
    }
    case Format::Csv: {
      std::vector<std::string> fields;
      for (const Column column : options.columns) fields.emplace_back(ColumnHeader(column));
      text += CsvRecord(fields);
      for (const ProcessRow& row : rows) {
        fields.clear();
        for (const Column column : options.columns)
          fields.push_back(Cell(row, column).value_or(""));
        text += CsvRecord(fields);
      }
      break;
    }
    case Format::OpenMetrics: text = MetricsText(rows, MetricsFormat::OpenMetrics); break;
    case Format::Prometheus: text = MetricsText(rows, MetricsFormat::Prometheus); break;
  }
  return text;
}

}  // namespace zelps
