#include "text_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "display_width.h"
#include "filetime.h"

namespace zelps {
namespace {

constexpr const char* kGap = "  ";

void AppendCell(std::string& line, const std::string& text, std::size_t width, bool right,
                bool last) {
  const std::size_t padding = width - std::min(width, DisplayWidth(text));
  if (right) line.append(padding, ' ');
  line += text;
  if (!right && !last) line.append(padding, ' ');
}

}  // namespace

std::vector<std::string> TableLines(const std::vector<ProcessRow>& rows,
                                    const std::vector<Column>& columns) {
  std::vector<std::string> headers;
  for (const Column column : columns) headers.emplace_back(ColumnHeader(column));
  return TableLines(rows, columns, headers);
}

std::vector<std::string> TableLines(const std::vector<ProcessRow>& rows,
                                    const std::vector<Column>& columns,
                                    const std::optional<std::vector<std::string>>& headers) {
  return TableLinesToFit(rows, columns, headers, std::string::npos, {});
}

std::vector<std::string> TableLinesToFit(const std::vector<ProcessRow>& rows,
                                         const std::vector<Column>& columns,
                                         const std::optional<std::vector<std::string>>& headers,
                                         std::size_t width, const std::vector<Column>& keep) {
  std::vector<std::vector<std::string>> cells;
  cells.reserve(rows.size());
  std::vector<std::size_t> widths(columns.size(), 0);
  if (headers)
    for (std::size_t i = 0; i < columns.size(); ++i) widths[i] = DisplayWidth((*headers)[i]);
  for (const ProcessRow& row : rows) {
    auto& line = cells.emplace_back();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      line.push_back(CellText(row, columns[i], true));
      widths[i] = std::max(widths[i], DisplayWidth(line.back()));
    }
  }
  // Columns before the name make way for it, the nearest first.
  std::vector<bool> shown(columns.size(), true);
  const auto name = std::find(columns.begin(), columns.end(), Column::Name) - columns.begin();
  auto nameEnd = [&] {
    std::size_t end = 0;
    for (std::ptrdiff_t i = 0; i <= name && i < std::ptrdiff_t(columns.size()); ++i)
      if (shown[i]) end += (end > 0 ? std::strlen(kGap) : 0) + widths[i];
    return end;
  };
  for (std::ptrdiff_t i = name - 1; i >= 0 && nameEnd() > width; --i)
    if (std::find(keep.begin(), keep.end(), columns[i]) == keep.end()) shown[i] = false;
  std::size_t last = 0;
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (shown[i]) last = i;
  auto join = [&](auto cellOf) {
    std::string line;
    bool first = true;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!shown[i]) continue;
      if (!std::exchange(first, false)) line += kGap;
      AppendCell(line, cellOf(i), widths[i], RightAligned(columns[i]), i == last);
    }
    // An empty last cell leaves nothing to pad for.
    while (line.ends_with(' ')) line.pop_back();
    return line;
  };
  std::vector<std::string> lines;
  if (headers) lines.push_back(join([&](std::size_t i) { return (*headers)[i]; }));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    lines.push_back(join([&](std::size_t i) { return cells[r][i]; }));
    for (const ThreadRow& thread : rows[r].threads) {
      char text[96];
      std::snprintf(text, sizeof text, "        thread %6u  created %s", thread.id,
                    FormatFileTime(thread.created).c_str());
      lines.push_back(text);
    }
  }
  return lines;
}

}  // namespace zelps
