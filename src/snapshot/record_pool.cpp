#include "record_pool.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>

namespace zel::records {
namespace {

using layout::ZELFIND_RECORD;

// The first block is part of the library's own data: a host that holds fewer
// handles than it has records never makes the pool allocate.
struct alignas(ZELFIND_RECORD) Block {
  std::array<ZELFIND_RECORD, kRecordsPerBlock> records;
};

// Enough for tens of millions of open handles. The table has a fixed size so
// that the check can read it while another thread adds a block.
constexpr std::size_t kMaxBlocks = 1024;

struct Pool {
  Block first{};
  std::array<std::atomic<const Block*>, kMaxBlocks> blocks{};
  std::atomic<std::size_t> blockCount{0};

  std::mutex mutex;  // over what follows, and over the growth of `blocks`
  // Records given back, linked through their pProcess field; the size tag
  // of each stays 0, so that the check refuses it.
  ZELFIND_RECORD* freeList = nullptr;
  Block* newest = nullptr;  // where records never handed out are taken from
  std::size_t newestUsed = 0;

  Pool() {
    blocks[0].store(&first, std::memory_order_relaxed);
    blockCount.store(1, std::memory_order_release);
    newest = &first;
  }
};

// Never destroyed, and not on the heap: handles may be closed, and checked,
// during the host's own static destruction.
Pool& ThePool() {
  alignas(Pool) static unsigned char storage[sizeof(Pool)];
  static Pool* const pool = ::new (storage) Pool;
  return *pool;
}

ZELFIND_RECORD* TakeFresh(Pool& pool) {
  if (pool.newestUsed == kRecordsPerBlock) {
    const std::size_t count = pool.blockCount.load(std::memory_order_relaxed);
    if (count == kMaxBlocks) throw std::bad_alloc();
    // Kept for good, like the first block: a record of it may be checked
    // after it was given back.
    auto* block = ::new Block;
    pool.blocks[count].store(block, std::memory_order_relaxed);
    pool.blockCount.store(count + 1, std::memory_order_release);
    pool.newest = block;
    pool.newestUsed = 0;
  }
  return &pool.newest->records[pool.newestUsed++];
}

}  // namespace

ZELFIND_RECORD* AllocateRecord() {
  Pool& pool = ThePool();
  ZELFIND_RECORD* record = nullptr;
  {
    const std::lock_guard lock(pool.mutex);
    if (pool.freeList) {
      record = pool.freeList;
      pool.freeList =
          const_cast<ZELFIND_RECORD*>(reinterpret_cast<const ZELFIND_RECORD*>(record->pProcess));
    } else {
      record = TakeFresh(pool);
    }
  }
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  return record;
}

void FreeRecord(ZELFIND_RECORD* record) {
  Pool& pool = ThePool();
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  const std::lock_guard lock(pool.mutex);
  record->pProcess = reinterpret_cast<const std::byte*>(pool.freeList);
  pool.freeList = record;
}

bool InRecordPool(const void* p) {
  const Pool& pool = ThePool();
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::size_t count = pool.blockCount.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < count; ++i) {
    const auto block =
        reinterpret_cast<std::uintptr_t>(pool.blocks[i].load(std::memory_order_relaxed));
    if (at >= block && at - block <= sizeof(Block) - sizeof(ZELFIND_RECORD)) return true;
  }
  return false;
}

}  // namespace zel::records
