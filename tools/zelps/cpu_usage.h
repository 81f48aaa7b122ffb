// CPU use between two snapshots, as top and PsList's refresh mode show it.
#pragma once

#include <cstdint>
#include <vector>

#include "process_rows.h"

namespace zelps {

// Sets each row's cpuPercent: the CPU time (user and kernel) it used since
// `before`, against `elapsedTicks` of wall time, so 100 is one core busy the
// whole while. A process is the same one when its ID and creation time are;
// one that is new was started in between, and all its time counts.
void SetCpuPercent(std::vector<ProcessRow>& now, const std::vector<ProcessRow>& before,
                   std::uint64_t elapsedTicks);

// Sets each row's cpuPercent to its share of one core since it started, as
// ps gives it: its CPU time over the time since its start, when the
// platform gives a start.
void SetLifetimeCpuPercent(std::vector<ProcessRow>& rows);

}  // namespace zelps
