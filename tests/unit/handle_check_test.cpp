// The check that tells the library's handles from other pointers.
#include <gtest/gtest.h>

#include <cstring>

#include "snapshot/records.h"
#include "support/system_test.h"

namespace {

using zel::layout::ZELFIND_RECORD;
using zel::records::RecordOfKind;

ZELFIND_RECORD Record(std::uint32_t size, std::uint8_t kind) {
  ZELFIND_RECORD r{};
  r.cbSize = size;
  r.bKind = kind;
  return r;
}

TEST(HandleCheck, AcceptsOnlyReadableRecordsOfSizeAndKind) {
  ZELFIND_RECORD process = Record(32, zel::layout::ZELFIND_PROCESS);
  ZELFIND_RECORD thread = Record(32, zel::layout::ZELFIND_THREAD);
  EXPECT_EQ(RecordOfKind(&process, zel::layout::ZELFIND_PROCESS), &process);
  EXPECT_EQ(RecordOfKind(&thread, zel::layout::ZELFIND_THREAD), &thread);
  EXPECT_EQ(RecordOfKind(&thread, zel::layout::ZELFIND_PROCESS), nullptr);
  EXPECT_EQ(RecordOfKind(nullptr, zel::layout::ZELFIND_PROCESS), nullptr);

  ZELFIND_RECORD wrong_size = Record(31, zel::layout::ZELFIND_PROCESS);
  EXPECT_EQ(RecordOfKind(&wrong_size, zel::layout::ZELFIND_PROCESS), nullptr);
  for (std::uint8_t kind : {0, 3}) {
    ZELFIND_RECORD r = Record(32, kind);
    EXPECT_NE(zel::records::ReadableRecord(&r), nullptr);
    EXPECT_EQ(RecordOfKind(&r, zel::layout::ZELFIND_PROCESS), nullptr);
    EXPECT_EQ(RecordOfKind(&r, zel::layout::ZELFIND_THREAD), nullptr);
  }
}

TEST(HandleCheck, RejectsRecordsThatRunIntoAnUnmappedPage) {
  zel::test::UnmappedPage mapping;
  auto* end = static_cast<std::byte*>(mapping.Unmapped());
  // A valid record whose last byte is the last mapped one passes; moved on by
  // its alignment it reaches the unmapped page and fails without a fault.
  ZELFIND_RECORD r = Record(32, zel::layout::ZELFIND_PROCESS);
  std::byte* fits = end - sizeof r;
  std::memcpy(fits, &r, sizeof r);
  EXPECT_NE(RecordOfKind(fits, zel::layout::ZELFIND_PROCESS), nullptr);
  EXPECT_EQ(RecordOfKind(fits + alignof(ZELFIND_RECORD), zel::layout::ZELFIND_PROCESS), nullptr);
  EXPECT_EQ(RecordOfKind(end, zel::layout::ZELFIND_PROCESS), nullptr);
}

TEST(HandleCheck, RejectsRecordsOffTheRecordAlignment) {
  // A record that passes every other test, at each offset that no record the
  // library makes can have.
  alignas(ZELFIND_RECORD) std::byte buffer[2 * sizeof(ZELFIND_RECORD)];
  const ZELFIND_RECORD r = Record(32, zel::layout::ZELFIND_PROCESS);
  for (std::size_t offset = 1; offset < alignof(ZELFIND_RECORD); ++offset) {
    std::memcpy(buffer + offset, &r, sizeof r);
    EXPECT_EQ(zel::records::ReadableRecord(buffer + offset), nullptr) << offset;
    EXPECT_EQ(RecordOfKind(buffer + offset, zel::layout::ZELFIND_PROCESS), nullptr) << offset;
  }
  std::memcpy(buffer, &r, sizeof r);
  EXPECT_EQ(RecordOfKind(buffer, zel::layout::ZELFIND_PROCESS),
            reinterpret_cast<ZELFIND_RECORD*>(buffer));
}

}  // namespace
