// A page of the fuzzer's own whose end is followed by a page that is not
// mapped: bytes placed at the end of the first run into the second, so any
// read past them faults.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace zel::fuzz {

class EdgeMapping {
 public:
  EdgeMapping() : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) { Map(); }
  ~EdgeMapping() { munmap(base_, page_); }
  EdgeMapping(const EdgeMapping&) = delete;
  EdgeMapping& operator=(const EdgeMapping&) = delete;

  std::byte* Base() const { return base_; }
  std::byte* End() const { return base_ + page_; }
  std::size_t PageSize() const { return page_; }

  // The hole after the page is only ours while nothing else is mapped into
  // it; should an allocator have taken it, the pair is made anew elsewhere.
  void KeepHoleUnmapped() {
    if (IsUnmapped(End())) return;
    munmap(base_, page_);
    Map();
  }

  // Asked of the kernel directly (mincore fails with ENOMEM on a hole), apart
  // from how the library probes memory.
  bool IsUnmapped(const void* page) const {
    unsigned char resident;
    return mincore(const_cast<void*>(page), page_, &resident) == -1 && errno == ENOMEM;
  }

 private:
  void Map() {
    void* p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) std::abort();
    base_ = static_cast<std::byte*>(p);
    munmap(base_ + page_, page_);
  }

  std::size_t page_;
  std::byte* base_ = nullptr;
};

}  // namespace zel::fuzz
