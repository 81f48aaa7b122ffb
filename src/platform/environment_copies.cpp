#include "environment_copies.h"

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

}  // namespace zel::source
