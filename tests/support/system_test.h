// The fixture of the library's unit tests: a scripted system installed for
// the test, and the promise that no platform handle outlives it.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "platform/codes.h"
#include "fake_windows/fake_system.h"
#include "platform/layouts.h"

namespace zel::test {

class SystemTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(emu::OpenHandleCount(), 0u) << "platform handles left open";
  }

  emu::System system;
  emu::ScopedSystem use{system};
};

// An address whose page is not mapped, and one aligned as the records are
// whose last mapped bytes do not reach 32: a handle there is refused by the
// readability probe, not by its alignment.
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

// Pointers that no operation may take for one of its handles, by name.
class BadHandles {
 public:
  BadHandles() {
    wrong_size_.cbSize = layout::kFindRecordSize - 1;
    wrong_size_.bKind = layout::ZELFIND_PROCESS;
    for (std::uint8_t kind : {0, 3, 255}) {
      layout::ZELFIND_RECORD r{};
      r.cbSize = layout::kFindRecordSize;
      r.bKind = kind;
      wrong_kinds_.push_back(r);
    }
    wrong_kinds_before_ = wrong_kinds_;
    layout::ZELFIND_RECORD r{};
    r.cbSize = layout::kFindRecordSize;
    r.bKind = layout::ZELFIND_PROCESS;
    std::memcpy(misaligned_ + 1, &r, sizeof r);
  }
  ~BadHandles() { EXPECT_TRUE(Untouched()) << "an operation wrote to a record it refused"; }
  BadHandles(const BadHandles&) = delete;
  BadHandles& operator=(const BadHandles&) = delete;
  // Null, an unmapped page, a record cut by the end of the mapping, one off
  // the records' alignment, a size tag other than 32, and kind bytes 0, 3
  // and 255.
  std::vector<std::pair<std::string, void*>> All() {
    return {{"null", nullptr},
            {"unmapped page", unmapped_.Unmapped()},
            {"record cut by unmapped page", unmapped_.Straddling()},
            {"misaligned record", misaligned_ + 1},
            {"size 31", &wrong_size_},
            {"kind 0", &wrong_kinds_[0]},
            {"kind 3", &wrong_kinds_[1]},
            {"kind 255", &wrong_kinds_[2]}};
  }
  // Whether no operation has written to the records it refused.
  bool Untouched() const {
    return std::memcmp(wrong_kinds_.data(), wrong_kinds_before_.data(),
                       wrong_kinds_.size() * sizeof(layout::ZELFIND_RECORD)) == 0 &&
           wrong_size_.cbSize == layout::kFindRecordSize - 1 && wrong_size_.pProcess == nullptr &&
           wrong_size_.pFilter == nullptr && wrong_size_.bKind == layout::ZELFIND_PROCESS;
  }
  void* Kind3() { return &wrong_kinds_[1]; }

 private:
  UnmappedPage unmapped_;
  alignas(layout::ZELFIND_RECORD) std::byte misaligned_[sizeof(layout::ZELFIND_RECORD) + 1]{};
  layout::ZELFIND_RECORD wrong_size_{};
  std::vector<layout::ZELFIND_RECORD> wrong_kinds_;
  std::vector<layout::ZELFIND_RECORD> wrong_kinds_before_;
};

inline const layout::ZELFIND_RECORD& RecordOf(void* handle) {
  return *static_cast<const layout::ZELFIND_RECORD*>(handle);
}

inline std::string Utf8(const CZelString& s) { return s.ToUtf8(); }

}  // namespace zel::test
