#include "snapshot_buffer.h"

#include <atomic>
#include <new>

namespace zel::snapshot {
namespace {

// Keeps the records at the alignment that the platform gives its buffers.
struct alignas(16) Header {
  std::atomic<unsigned> owners;
  std::uint32_t serial;
};

std::atomic<std::uint32_t> last_serial{0};

Header* HeaderOf(std::byte* records) { return reinterpret_cast<Header*>(records - sizeof(Header)); }

}  // namespace

std::byte* Allocate(std::size_t size) {
  // The block's ownership is shared through the process objects' record
  // pointers, so it is managed by hand here and nowhere else.
  void* block = ::operator new (sizeof(Header) + size, std::align_val_t{alignof(Header)});
  std::uint32_t serial = last_serial.fetch_add(1, std::memory_order_relaxed) + 1;
  if (serial == 0) serial = last_serial.fetch_add(1, std::memory_order_relaxed) + 1;
  new (block) Header{{1}, serial};
  return static_cast<std::byte*>(block) + sizeof(Header);
}

void Share(std::byte* records) {
  HeaderOf(records)->owners.fetch_add(1, std::memory_order_relaxed);
}

void Release(std::byte* records) {
  if (!records) return;
  Header* header = HeaderOf(records);
  if (header->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    header->~Header();
    ::operator delete (header, std::align_val_t{alignof(Header)});
  }
}

std::uint32_t SerialOf(const std::byte* records) {
  return HeaderOf(const_cast<std::byte*>(records))->serial;
}

}  // namespace zel::snapshot
