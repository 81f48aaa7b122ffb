// Holds handles until the library's pool of handle records has none left, so
// that the next handle it makes needs a new block: the one allocation that
// making a handle can fail on.
#pragma once

#include <stdexcept>
#include <vector>

#include "ZelProcess.h"
#include "alloc_fault.h"
#include "snapshot/record_pool.h"

namespace zel::test {

class FullRecordPool {
 public:
  // Duplicates `handle`, a valid handle without a pattern, as often as it
  // takes: until a duplicate starts a new block, and then until that block
  // is used up.
  FullRecordPool(CZelProcess& owner, void* handle) : owner_(owner) {
    held_.reserve(3 * records::kRecordsPerBlock);
    std::size_t in_new_block = 0;
    while (in_new_block < records::kRecordsPerBlock) {
      const long made = AllocationsMade();
      void* copy = owner_.DuplicateHandle(handle);
      if (!copy || held_.size() == held_.capacity()) throw std::logic_error("no handle to hold");
      held_.push_back(copy);
      if (AllocationsMade() != made) {
        in_new_block = 1;
      } else if (in_new_block > 0) {
        ++in_new_block;
      }
    }
  }
  ~FullRecordPool() {
    for (void* h : held_) owner_.CloseHandle(h);
  }
  FullRecordPool(const FullRecordPool&) = delete;
  FullRecordPool& operator=(const FullRecordPool&) = delete;

 private:
  CZelProcess& owner_;
  std::vector<void*> held_;
};

}  // namespace zel::test
