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
struct Block {
  std::array<ZELFIND_RECORD, kRecordsPerBlock> records{};
  // Set while the record of the same index is the host's; read by the
  // handle check on any thread, written under the pool's lock.
  std::array<std::atomic<bool>, kRecordsPerBlock> inUse{};
};

// Room for about two million open handles (1024 blocks of 2048 records). The table has a fixed size
// so that the check can read it while another thread adds a block.
constexpr std::size_t kMaxBlocks = 1024;

struct Pool {
  Block first;
  std::array<std::atomic<Block*>, kMaxBlocks> blocks{};
  std::atomic<std::size_t> blockCount{0};

  std::mutex mutex;  // over what follows, and over the growth of `blocks`
  // Records given back, linked through their pProcess field.
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

// The block that holds `p` and the index of the record that starts at `p`;
// false when `p` is not the start of a record of the pool.
bool Locate(const Pool& pool, const void* p, Block*& block, std::size_t& index) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::size_t count = pool.blockCount.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < count; ++i) {
    Block* candidate = pool.blocks[i].load(std::memory_order_relaxed);
    const auto begin = reinterpret_cast<std::uintptr_t>(candidate->records.data());
    if (at < begin || at - begin >= sizeof candidate->records) continue;
    if ((at - begin) % sizeof(ZELFIND_RECORD) != 0) return false;
    block = candidate;
    index = (at - begin) / sizeof(ZELFIND_RECORD);
    return true;
  }
  return false;
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

void MarkInUse(const Pool& pool, const ZELFIND_RECORD* record, bool in_use) {
  Block* block = nullptr;
  std::size_t index = 0;
  if (Locate(pool, record, block, index))
    block->inUse[index].store(in_use, std::memory_order_release);
}

}  // namespace

ZELFIND_RECORD* AllocateRecord(const ZELFIND_RECORD& init) {
  Pool& pool = ThePool();
  const std::lock_guard lock(pool.mutex);
  ZELFIND_RECORD* record = pool.freeList;
  if (record) {
    pool.freeList =
        const_cast<ZELFIND_RECORD*>(reinterpret_cast<const ZELFIND_RECORD*>(record->pProcess));
  } else {
    record = TakeFresh(pool);
  }
  *record = init;
  MarkInUse(pool, record, true);
  return record;
}

void FreeRecord(ZELFIND_RECORD* record) {
  Pool& pool = ThePool();
  const std::lock_guard lock(pool.mutex);
  MarkInUse(pool, record, false);
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  record->pProcess = reinterpret_cast<const std::byte*>(pool.freeList);
  pool.freeList = record;
}

ZELFIND_RECORD* LiveRecord(const void* p) {
  const Pool& pool = ThePool();
  Block* block = nullptr;
  std::size_t index = 0;
  if (!Locate(pool, p, block, index) || !block->inUse[index].load(std::memory_order_acquire))
    return nullptr;
  return &block->records[index];
}

}  // namespace zel::records
