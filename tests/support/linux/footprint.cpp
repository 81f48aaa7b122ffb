// The host's descriptors, operator new's blocks and malloc's bytes in use.
#include "support/churn/footprint.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "allocation_count.h"

#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer's allocator stands in for malloc's, which mallinfo2 then
// no longer sees; it counts the bytes in use itself.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace zel::churn {
namespace {

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(fds)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(fds);
  }
  return count;  // the listing's own descriptor included, every time
}

}  // namespace

Footprint MeasureFootprint() {
  Footprint footprint;
  footprint.handles = OpenDescriptors();
  const LiveAllocations allocations = CurrentAllocations();
  footprint.blocks = allocations.count;
  footprint.bytes = allocations.bytes;
#ifdef __SANITIZE_ADDRESS__
  footprint.heap = static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 info = mallinfo2();
  footprint.heap = static_cast<long long>(info.uordblks + info.hblkhd);
#endif
  return footprint;
}

// Each thread's cache holds up to seven freed chunks of each small size,
// which mallinfo2 still counts as in use. A leak of 16 bytes a call (160 KB
// over the calls) is far beyond it; the exact count of operator new's blocks
// catches smaller ones.
long long HeapSlack() { return 32 * 1024; }

void ExpectHandleCountToTrackHandles(unsigned processId) {
  const std::size_t idle = MeasureFootprint().handles;
  const int extra = open(("/proc/" + std::to_string(processId) + "/stat").c_str(), O_RDONLY);
  ASSERT_GE(extra, 0) << errno;
  EXPECT_EQ(MeasureFootprint().handles, idle + 1);
  close(extra);
}

}  // namespace zel::churn
