// Counting the host's handles in the system's handle table.
#include "handle_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "host_handles.h"

namespace zel::test {

std::size_t HandleCount() {
  // The table's layout, as the platform documents it for this query.
  struct Entry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
  };
  struct Table {
    ULONG_PTR count;
    ULONG_PTR reserved;
    Entry entries[1];
  };
  constexpr ULONG kSystemExtendedHandleInformation = 64;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  EXPECT_NE(query, nullptr);
  if (query == nullptr) return 0;

  std::vector<std::byte> buffer(1 << 16);
  LONG status = 0;
  for (;;) {
    ULONG needed = 0;
    status = query(kSystemExtendedHandleInformation, buffer.data(),
                   static_cast<ULONG>(buffer.size()), &needed);
    if (status != kInfoLengthMismatch) break;
    // Other processes open handles between two calls: leave room for them.
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + (1 << 16)));
  }
  EXPECT_EQ(status, 0);
  if (status != 0) return 0;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  const Entry* entries = table->entries;
  return static_cast<std::size_t>(
      std::count_if(entries, entries + table->count,
                    [](const Entry& entry) { return entry.processId == ::GetCurrentProcessId(); }));
}

void ExpectHandleCountToTrackHandles(DWORD processId) {
  const std::size_t idle = HandleCount();
  OwnedHandle extra(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  ASSERT_TRUE(extra) << ::GetLastError();
  EXPECT_EQ(HandleCount(), idle + 1);
}

}  // namespace zel::test
