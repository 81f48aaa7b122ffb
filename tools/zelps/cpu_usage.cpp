#include "cpu_usage.h"

#include <map>
#include <utility>

#include "columns.h"
#include "filetime.h"

namespace zelps {

void SetCpuPercent(std::vector<ProcessRow>& now, const std::vector<ProcessRow>& before,
                   std::uint64_t elapsedTicks) {
  std::map<std::pair<unsigned, std::uint64_t>, std::uint64_t> used;
  for (const ProcessRow& row : before)
    used.emplace(std::pair{row.id, Ticks(row.created)}, row.userTicks + row.kernelTicks);
  for (ProcessRow& row : now) {
    row.cpuPercent.reset();
    if (elapsedTicks == 0) continue;
    const std::uint64_t total = row.userTicks + row.kernelTicks;
    const auto earlier = used.find({row.id, Ticks(row.created)});
    const std::uint64_t start = earlier == used.end() ? 0 : earlier->second;
    // A counter read lower than before (rounded differently) is no use at all.
    row.cpuPercent = total < start ? 0.0 : 100.0 * double(total - start) / double(elapsedTicks);
  }
}

void SetLifetimeCpuPercent(std::vector<ProcessRow>& rows) {
  for (ProcessRow& row : rows) {
    row.cpuPercent.reset();
    const auto elapsed = ElapsedTicks(row);
    if (elapsed && *elapsed > 0)
      row.cpuPercent = 100.0 * double(row.userTicks + row.kernelTicks) / double(*elapsed);
  }
}

}  // namespace zelps
