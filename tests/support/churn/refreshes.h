// Snapshots taken one after another while children come and go: each must
// succeed with code 0, hold a sane number of processes including the host,
// and walk whole; what the children did is counted for the figures.
#pragma once

#include <cstddef>
#include <functional>

#include "ZelProcess.h"
#include "code_tally.h"
#include "lister.h"

namespace zel::churn {

struct RefreshFigures {
  std::size_t childrenSeen = 0;  // the host's children seen in any snapshot
  std::size_t exitsSeen = 0;     // children in one snapshot and not the next
  std::size_t fewest = 0;        // processes in the smallest snapshot
  std::size_t most = 0;          // and in the largest
};

// Refreshes `refresher` `count` times; `lister` walks each snapshot through
// `walker`, a copy of `refresher` (nothing but Refresh records on
// `refresher`, so its code after each is what that Refresh left). Calls
// `after_each` with the number of refreshes made so far.
RefreshFigures RunRefreshes(CZelProcess& refresher, CZelProcess& walker, Lister& lister,
                            CodeTally& tally, unsigned host, int count,
                            const std::function<void(int done)>& after_each = {});

}  // namespace zel::churn
