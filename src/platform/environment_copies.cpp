#include "environment_copies.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

namespace zel::source {
namespace {

struct Listed {
  std::mutex mutex;
  // A set holds no memory while it is empty, so that the list costs nothing
  // once every block is given back.
  std::set<const unsigned char*> blocks;
};

// Never destroyed: a host may give a block back during its own static
// destruction.
Listed& TheList() {
  alignas(Listed) static unsigned char storage[sizeof(Listed)];
  static Listed* const list = ::new (storage) Listed;
  return *list;
}

}  // namespace

void DeleteEnvironment::operator()(unsigned char* buffer) const {
  Listed& list = TheList();
  {
    const std::lock_guard lock(list.mutex);
    list.blocks.erase(buffer);
  }
  delete[] buffer;
}

EnvironmentBuffer NewEnvironmentBuffer(std::size_t size) {
  EnvironmentBuffer buffer(new (std::nothrow) unsigned char[size]);
  if (!buffer) return buffer;
  Listed& list = TheList();
  try {
    const std::lock_guard lock(list.mutex);
    list.blocks.insert(buffer.get());
  } catch (const std::bad_alloc&) {
    // Unlisted, the block could not be given back: it is not handed out.
    delete[] buffer.release();
  }
  return buffer;
}

bool TakeBackEnvironmentBuffer(unsigned char* buffer) {
  Listed& list = TheList();
  {
    const std::lock_guard lock(list.mutex);
    if (list.blocks.erase(buffer) == 0) return false;
  }
  delete[] buffer;
  return true;
}

std::optional<std::size_t> BlockEnd(const unsigned short* units, std::size_t from,
                                    std::size_t count) {
  for (std::size_t i = from; i < count; ++i)
    if (units[i] == 0 && (i == 0 || units[i - 1] == 0)) return i;
  return std::nullopt;
}

BlockCopy CopyBlock(const unsigned short* units, std::size_t count) {
  constexpr std::size_t kUnit = sizeof(unsigned short);
  constexpr std::size_t kLimitUnits = kEnvironmentBlockLimit / kUnit;
  BlockCopy copy;
  std::size_t held = 0;  // the units taken from the block
  if (const auto end = BlockEnd(units, 0, std::min(count, kLimitUnits))) {
    held = *end + 1;
  } else {
    // Room is kept for the empty string that the copy ends with.
    const unsigned short* last_nul = nullptr;
    for (const unsigned short* u = units; u != units + std::min(count, kLimitUnits - 1); ++u)
      if (*u == 0) last_nul = u;
    held = last_nul ? static_cast<std::size_t>(last_nul - units) + 1 : 0;
    copy.cut = true;
  }
  // An empty block, or one cut before its first variable's end, is two NULs.
  const std::size_t units_out = held < 2 ? 2 : held + (copy.cut ? 1 : 0);
  copy.buffer = NewEnvironmentBuffer(units_out * kUnit);
  if (!copy.buffer) return copy;
  std::memset(copy.buffer.get(), 0, units_out * kUnit);
  if (held >= 2) std::memcpy(copy.buffer.get(), units, held * kUnit);
  copy.size = units_out * kUnit;
  return copy;
}

}  // namespace zel::source
