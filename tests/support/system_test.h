// The fixture of the library's unit tests: a scripted system installed for
// the test, and the promise that no platform handle outlives it.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "platform/codes.h"
#include "fake_windows/fake_system.h"
#include "platform/snapshot_records.h"
#include "snapshot/handle_record.h"

namespace zel::test {

class SystemTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(fake::OpenHandleCount(), 0u) << "platform handles left open";
  }

  fake::System system;
  fake::ScopedSystem use{system};
};

// An address whose page is not mapped, and one aligned as the records are
// whose last mapped bytes do not reach 32: a pointer there would fault if
// anything read the record it seems to hold.
class UnmappedPage {
 public:
  UnmappedPage() {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = static_cast<std::byte*>(p);
    munmap(base_ + page_, page_);
    // A record that would pass every other test, cut by the end of the mapping.
    layout::ZELFIND_RECORD r{};
    r.cbSize = layout::kFindRecordSize;
    r.bKind = layout::ZELFIND_PROCESS;
    std::memcpy(Straddling(), &r, kMappedPart);
  }
  ~UnmappedPage() { munmap(base_, page_); }
  UnmappedPage(const UnmappedPage&) = delete;
  UnmappedPage& operator=(const UnmappedPage&) = delete;

  void* Unmapped() const { return base_ + page_; }
  void* Straddling() const { return base_ + page_ - kMappedPart; }

 private:
  static constexpr std::size_t kMappedPart =
      sizeof(layout::ZELFIND_RECORD) - alignof(layout::ZELFIND_RECORD);
  std::size_t page_;
  std::byte* base_;
};

// Pointers that are no handle of the library's, by name: null, a small
// integer, an unmapped page, a record cut by the end of its mapping, one off
// the records' alignment, the host's own records of every kind byte (size tag
// 32, as a forger would write them), copies of genuine records on the stack
// and on the heap (their pointers, pattern and snapshot number included), a
// record already closed, and a pointer into the middle of a genuine one.
class BadHandles {
 public:
  // Forges from `process` (a handle with a pattern), `thread` and `module`,
  // genuine handles of `p`'s.
  BadHandles(CZelProcess& p, void* process, void* thread, void* module) {
    wrong_size_.cbSize = layout::kFindRecordSize - 1;
    wrong_size_.bKind = layout::ZELFIND_PROCESS;
    for (std::uint8_t kind : {0, 1, 2, 3, 255}) {
      layout::ZELFIND_RECORD r{};
      r.cbSize = layout::kFindRecordSize;
      r.bKind = kind;
      forged_.push_back(r);
    }
    std::memcpy(&stack_copies_[0], process, sizeof stack_copies_[0]);
    std::memcpy(&stack_copies_[1], thread, sizeof stack_copies_[1]);
    std::memcpy(&stack_copies_[2], module, sizeof stack_copies_[2]);
    heap_copies_ = std::make_unique<layout::ZELFIND_RECORD[]>(std::size(stack_copies_));
    std::copy(std::begin(stack_copies_), std::end(stack_copies_), heap_copies_.get());
    std::memcpy(misaligned_ + 1, process, sizeof(layout::ZELFIND_RECORD));
    closed_ = p.DuplicateHandle(thread);
    p.CloseHandle(closed_);
    inside_ = static_cast<std::byte*>(process) + offsetof(layout::ZELFIND_RECORD, pProcess);
    Remember();
  }
  ~BadHandles() { EXPECT_TRUE(Untouched()) << "an operation wrote to memory it refused"; }
  BadHandles(const BadHandles&) = delete;
  BadHandles& operator=(const BadHandles&) = delete;

  std::vector<std::pair<std::string, void*>> All() {
    return {{"null", nullptr},
            {"small integer", reinterpret_cast<void*>(std::uintptr_t{0x1234})},
            {"unmapped page", unmapped_.Unmapped()},
            {"record cut by unmapped page", unmapped_.Straddling()},
            {"misaligned copy", misaligned_ + 1},
            {"size 31", &wrong_size_},
            {"host record of kind 0", &forged_[0]},
            {"host record of kind 1", &forged_[1]},
            {"host record of kind 2", &forged_[2]},
            {"host record of kind 3", &forged_[3]},
            {"host record of kind 255", &forged_[4]},
            {"stack copy of a process handle", &stack_copies_[0]},
            {"stack copy of a thread handle", &stack_copies_[1]},
            {"stack copy of a module handle", &stack_copies_[2]},
            {"heap copy of a process handle", &heap_copies_[0]},
            {"heap copy of a thread handle", &heap_copies_[1]},
            {"heap copy of a module handle", &heap_copies_[2]},
            {"closed handle", closed_},
            {"inside a handle", inside_}};
  }
  // Whether no operation has written to the memory it refused.
  bool Untouched() const { return Bytes() == before_; }

 private:
  std::vector<std::byte> Bytes() const {
    std::vector<std::byte> bytes;
    const auto add = [&](const void* p, std::size_t size) {
      const auto* b = static_cast<const std::byte*>(p);
      bytes.insert(bytes.end(), b, b + size);
    };
    add(&wrong_size_, sizeof wrong_size_);
    add(forged_.data(), forged_.size() * sizeof forged_[0]);
    add(stack_copies_, sizeof stack_copies_);
    add(heap_copies_.get(), sizeof stack_copies_);
    add(misaligned_, sizeof misaligned_);
    return bytes;
  }
  void Remember() { before_ = Bytes(); }

  UnmappedPage unmapped_;
  alignas(layout::ZELFIND_RECORD) std::byte misaligned_[sizeof(layout::ZELFIND_RECORD) + 1]{};
  layout::ZELFIND_RECORD wrong_size_{};
  std::vector<layout::ZELFIND_RECORD> forged_;
  layout::ZELFIND_RECORD stack_copies_[3]{};
  std::unique_ptr<layout::ZELFIND_RECORD[]> heap_copies_;
  void* closed_ = nullptr;
  void* inside_ = nullptr;
  std::vector<std::byte> before_;
};

inline const layout::ZELFIND_RECORD& RecordOf(void* handle) {
  return *static_cast<const layout::ZELFIND_RECORD*>(handle);
}

inline std::string Utf8(const CZelString& s) { return s.ToUtf8(); }

}  // namespace zel::test
