#include "alloc_fault.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "fake_windows/fake_system.h"

namespace {

std::atomic<long> countdown{-1};
std::atomic<bool> failed{false};
std::atomic<long> live{0};
std::atomic<long> made{0};

void* Allocate(std::size_t size, std::size_t alignment) {
  // The fake platform's own allocations are not the library's to fail.
  long left = -1;
  if (!zel::fake::InPlatformCall()) {
    ++made;
    left = countdown.load();
    while (left >= 0 && !countdown.compare_exchange_weak(left, left - 1)) {
    }
  }
  if (left == 0) {
    failed = true;
    throw std::bad_alloc();
  }
  if (size == 0) size = 1;
  void* p = alignment > alignof(std::max_align_t)
                ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                : std::malloc(size);
  if (!p) throw std::bad_alloc();
  ++live;
  return p;
}

}  // namespace

namespace zel::test {
void FailAllocation(int n) {
  failed = false;
  countdown = n;
}
void DisarmAllocationFailure() { countdown = -1; }
bool AllocationFailed() { return failed; }
long LiveAllocations() { return live; }
long AllocationsMade() { return made; }
}  // namespace zel::test

void* operator new(std::size_t size) { return Allocate(size, 0); }
void* operator new[](std::size_t size) { return Allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) {
  return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
namespace {
void Free(void* p) noexcept {
  if (!p) return;
  --live;
  std::free(p);
}
}  // namespace

void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }
void operator delete(void* p, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
