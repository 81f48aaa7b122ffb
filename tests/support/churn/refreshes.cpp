#include "refreshes.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>

namespace zel::churn {
namespace {

// No machine this runs on has more; a count beyond it is garbage.
constexpr unsigned kMostProcesses = 1u << 20;

}  // namespace

RefreshFigures RunRefreshes(CZelProcess& refresher, CZelProcess& walker, Lister& lister,
                            CodeTally& tally, unsigned host, int count,
                            const std::function<void(int done)>& after_each) {
  RefreshFigures figures;
  figures.fewest = kMostProcesses;
  std::set<unsigned> seen;
  std::set<unsigned> last;
  for (int i = 0; i < count; ++i) {
    const std::string which = "Refresh " + std::to_string(i);
    if (refresher.Refresh() != 1) tally.Breach(which + " failed");
    tally.Record("Refresh", refresher.GetErrorCode());
    const unsigned processes = refresher.GetProcessCount();
    if (processes < 2 || processes > kMostProcesses)
      tally.Breach(which + ": " + std::to_string(processes) + " processes");
    figures.fewest = std::min<std::size_t>(figures.fewest, processes);
    figures.most = std::max<std::size_t>(figures.most, processes);
    walker = refresher;
    std::set<unsigned> children;
    bool host_seen = false;
    for (const auto& process : lister.Walk(false)) {
      host_seen = host_seen || process.id == host;
      if (process.parent == host) children.insert(process.id);
    }
    if (!host_seen) tally.Breach(which + " without the host");
    for (const unsigned id : last) figures.exitsSeen += children.contains(id) ? 0 : 1;
    seen.insert(children.begin(), children.end());
    last = std::move(children);
    if (after_each) after_each(i + 1);
  }
  figures.childrenSeen = seen.size();
  return figures;
}

}  // namespace zel::churn
