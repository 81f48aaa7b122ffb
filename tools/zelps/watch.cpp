#include "watch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ZelErrorMessage.h"
#include "cpu_usage.h"
#include "listing.h"
#include "output_file.h"
#include "terminal.h"
#include "text_table.h"

namespace zelps {

void Emit(const std::string& text, const Options& options) {
  if (options.outputFile.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
      throw OutputError(std::string("cannot write to standard output: ") + std::strerror(errno));
    return;
  }
  std::string error;
  if (!WriteFileWhole(options.outputFile, text, error)) throw OutputError(error);
}

int Watch(const Options& options) {
  using Clock = std::chrono::steady_clock;
  const bool screen =
      options.format == Format::Table && options.outputFile.empty() && StdoutIsTerminal();
  RefreshTerminal terminal(screen);
  CZelProcess processes;
  auto before = ReadSelected(processes, options);
  auto beforeAt = Clock::now();
  // As a single listing: 1 when no table selected anything.
  bool selected = !before.empty();
  // The first table comes soon: it needs only a second snapshot.
  if (terminal.Wait(std::min(*options.watchSeconds, 0.5))) return selected ? 0 : 1;
  for (unsigned frame = 1;; ++frame) {
    if (!processes.Refresh())
      throw std::runtime_error("cannot take a snapshot: " +
                               zel::ErrorMessage(processes.GetErrorCode()));
    auto rows = ReadSelected(processes, options);
    selected = selected || !rows.empty();
    const auto now = Clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - beforeAt);
    SetCpuPercent(rows, before, static_cast<std::uint64_t>(elapsed.count() / 100));
    before = rows;
    beforeAt = now;
    Order(rows, options);
    if (screen) {
      char title[128];
      std::snprintf(title, sizeof title, "zelps: %zu processes, every %g s; q quits", rows.size(),
                    *options.watchSeconds);
      // The ID, the sort keys and the name stay on a narrow screen.
      std::vector<Column> keep{Column::Id};
      for (const SortKey& key : options.sortKeys) keep.push_back(key.column);
      auto lines =
          TableLinesToFit(rows, options.columns, HeaderLine(options), terminal.Width(), keep);
      lines.insert(lines.begin(), title);
      terminal.Draw(lines);
    } else {
      // Tables one after the other, a blank line between them; CSV as one
      // stream of records under one header. A file holds one listing.
      const bool stream = frame > 1 && options.outputFile.empty();
      const bool spaced = stream && options.format == Format::Table;
      Emit((spaced ? "\n" : "") + Render(rows, options, !(stream && options.format == Format::Csv)),
           options);
    }
    if ((options.iterations && frame >= *options.iterations) ||
        terminal.Wait(*options.watchSeconds))
      return selected ? 0 : 1;
  }
}

}  // namespace zelps
