// IsBadReadPtr and IsBadWritePtr test the caller's own memory for real: the
// kernel copies through the pages and reports a fault instead of delivering it.
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

#include "api.h"

namespace zel::os {
namespace {

const std::uintptr_t kPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));

// Visits one byte in every page of [p, p + size); false when one is not
// accessible (for writing too, when `write` is set).
bool TouchPages(const void* p, std::uintptr_t size, bool write) {
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  if (begin + size < begin) return false;  // wraps around the address space
  const pid_t self = getpid();
  for (std::uintptr_t at = begin; at < begin + size; at = (at / kPage + 1) * kPage) {
    std::byte byte;
    iovec local{&byte, 1};
    iovec remote{reinterpret_cast<void*>(at), 1};
    if (process_vm_readv(self, &local, 1, &remote, 1, 0) != 1) return false;
    // Writing back the byte just read changes nothing but fails on a page
    // that is mapped read-only.
    if (write && process_vm_writev(self, &local, 1, &remote, 1, 0) != 1) return false;
  }
  return true;
}

}  // namespace

BOOL IsBadReadPtr(const void* p, std::uintptr_t size) {
  if (size == 0) return 0;
  return p == nullptr || !TouchPages(p, size, false);
}

BOOL IsBadWritePtr(void* p, std::uintptr_t size) {
  if (size == 0) return 0;
  return p == nullptr || !TouchPages(p, size, true);
}

}  // namespace zel::os
