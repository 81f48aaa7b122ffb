// What every entry point that takes a handle must do with a pointer that is
// not a handle of its kind, and the results a genuine handle gives, to hold a
// copy of it to.
#pragma once

#include <cstring>
#include <tuple>
#include <vector>

#include "ZelProcess.h"
#include "fuzz_check.h"
#include "handle_world.h"
#include "ZelHandles.h"
#include "platform/codes.h"
#include "platform/layouts.h"
#include "platform/windows/unique_handle.h"

namespace zel::fuzz {

namespace code = zel::code;

inline void ExpectCode(const CZelProcess& p, ZelCode expected) {
  ZEL_FUZZ_CHECK(p.GetErrorCode() == expected);
}

// Every entry point that wants a process handle refuses `h` with its code and
// leaves the caller's outputs as they were.
inline void RejectsAsProcess(Probe& p, void* h) {
  constexpr unsigned kNoId = 0xFFFFFFFF;
  ZEL_FUZZ_CHECK(p.FindNextProcess(h) == 0);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetName(h).IsEmpty());
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetProcessID(h) == kNoId);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetParentProcess(h) == kNoId);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetBasePriority(h) == -1);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetThreadCount(h) == kNoId);
  ExpectCode(p, code::kInvalidParameter);

  using TimeQuery = int (CZelProcess::*)(void*, _FILETIME&);
  for (TimeQuery query :
       {&CZelProcess::GetCreateTime, &CZelProcess::GetUserTime, &CZelProcess::GetKernelTime}) {
    FILETIME t{7, 9};
    ZEL_FUZZ_CHECK((p.*query)(h, t) == 0);
    ExpectCode(p, code::kInvalidParameter);
    ZEL_FUZZ_CHECK(t.dwLowDateTime == 7 && t.dwHighDateTime == 9);
  }
  VM_COUNTERS vm;
  std::memset(&vm, 0xAB, sizeof vm);
  const VM_COUNTERS vm_before = vm;
  ZEL_FUZZ_CHECK(p.GetMemoryCounters(h, vm) == 0);
  ExpectCode(p, code::kInvalidHandle);
  ZEL_FUZZ_CHECK(std::memcmp(&vm, &vm_before, sizeof vm) == 0);
  IO_COUNTERS io;
  std::memset(&io, 0xCD, sizeof io);
  const IO_COUNTERS io_before = io;
  ZEL_FUZZ_CHECK(p.GetIOCounters(h, io) == 0);
  ExpectCode(p, code::kInvalidHandle);
  ZEL_FUZZ_CHECK(std::memcmp(&io, &io_before, sizeof io) == 0);

  ZEL_FUZZ_CHECK(p.FindFirstThread(h) == nullptr);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.CreateHandleFromTID(h, kSecondThreadId) == nullptr);
  ExpectCode(p, code::kInvalidParameter);

  using StringQuery = CZelString (CZelProcess::*)(void*);
  for (StringQuery query : {&CZelProcess::GetImageFile, &CZelProcess::GetCommandLineW,
                            &CZelProcess::GetCurrentDirectoryW, &CZelProcess::GetWindowTitle,
                            &CZelProcess::GetDesktopName, &CZelProcess::GetPath}) {
    ZEL_FUZZ_CHECK((p.*query)(h).IsEmpty());
    ExpectCode(p, code::kInvalidParameter);
  }
  ZEL_FUZZ_CHECK(p.GetEnvironmentBuffer(h) == nullptr);
  ExpectCode(p, code::kInvalidParameter);
  CZelString user = CZelString::FromUtf8("user"), domain = CZelString::FromUtf8("domain");
  ZEL_FUZZ_CHECK(p.GetUserAndDomain(h, user, domain) == 0);
  ExpectCode(p, code::kInvalidHandle);
  ZEL_FUZZ_CHECK(user.IsEmpty() && domain.IsEmpty());
  ZEL_FUZZ_CHECK(p.GetMainWindow(h) == nullptr);
  ExpectCode(p, code::kInvalidParameter);

  ZEL_FUZZ_CHECK(p.GetReadHandle(h) == nullptr);
  ExpectCode(p, code::kInvalidParameter);
  layout::ProcessBasicInformation info{};
  ZEL_FUZZ_CHECK(p.GetProcessInformation(h, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info)) ==
                 0);
  ExpectCode(p, code::kAccessDenied);
  std::vector<std::byte> peb(layout::kPebReadSize);
  ZEL_FUZZ_CHECK(p.GetPEB(h, reinterpret_cast<_PEB*>(peb.data())) == 0);
  ExpectCode(p, code::kInvalidParameter);
}

// Every entry point that wants a thread handle refuses `h`.
inline void RejectsAsThread(Probe& p, void* h) {
  ZEL_FUZZ_CHECK(p.FindNextThread(h) == 0);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetThreadID(h) == 0xFFFFFFFF);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(p.GetThreadParentProcess(h) == 0xFFFFFFFF);
  ExpectCode(p, code::kInvalidParameter);
  FILETIME t{7, 9};
  ZEL_FUZZ_CHECK(p.GetThreadCreateTime(h, t) == 0);
  ExpectCode(p, code::kInvalidParameter);
  ZEL_FUZZ_CHECK(t.dwLowDateTime == 7 && t.dwHighDateTime == 9);
  std::vector<std::byte> teb(layout::kTebReadSize);
  ZEL_FUZZ_CHECK(p.GetTEB(h, reinterpret_cast<_TEB*>(teb.data())) == 0);
  ExpectCode(p, code::kInvalidParameter);
}

// What a read through either handle gives, the holder's code included, must
// be the same.
template <class Read>
void SameThroughBoth(Probe& p, void* copy, void* genuine, Read read) {
  const auto through_copy = read(copy);
  const ZelCode copy_code = p.GetErrorCode();
  const auto through_genuine = read(genuine);
  ZEL_FUZZ_CHECK(through_copy == through_genuine);
  ZEL_FUZZ_CHECK(copy_code == p.GetErrorCode());
}

template <class T>
std::vector<unsigned char> BytesOf(const T& value) {
  std::vector<unsigned char> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

// Every read that a process handle serves gives the same through `copy` as
// through `genuine`; none of them changes either record.
inline void ReadsLikeProcess(Probe& p, void* copy, void* genuine) {
  SameThroughBoth(p, copy, genuine, [&](void* h) { return p.GetName(h); });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    return std::tuple(p.GetProcessID(h), p.GetParentProcess(h), p.GetBasePriority(h),
                      p.GetThreadCount(h));
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    FILETIME c{}, u{}, k{};
    const int read = p.GetCreateTime(h, c) + p.GetUserTime(h, u) + p.GetKernelTime(h, k);
    return std::tuple(read, BytesOf(c), BytesOf(u), BytesOf(k));
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    VM_COUNTERS vm{};
    IO_COUNTERS io{};
    const int read = p.GetMemoryCounters(h, vm) + p.GetIOCounters(h, io);
    return std::tuple(read, BytesOf(vm), BytesOf(io));
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    return std::tuple(p.GetImageFile(h), p.GetCommandLineW(h), p.GetCurrentDirectoryW(h),
                      p.GetWindowTitle(h), p.GetDesktopName(h), p.GetPath(h));
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    const EnvironmentCopy block(p, p.GetEnvironmentBuffer(h));
    ZEL_FUZZ_CHECK(block.Get() != nullptr);
    return std::vector<unsigned char>(block.Get(), block.Get() + layout::kEnvironmentReadSize);
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    CZelString user, domain;
    const int read = p.GetUserAndDomain(h, user, domain);
    return std::tuple(read, user, domain);
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) { return p.GetMainWindow(h); });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    layout::ProcessBasicInformation info{};
    const int read =
        p.GetProcessInformation(h, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info));
    std::vector<std::byte> peb(layout::kPebReadSize);
    const int peb_read = p.GetPEB(h, reinterpret_cast<_PEB*>(peb.data()));
    const os::UniqueHandle live(p.GetReadHandle(h));
    return std::tuple(read, BytesOf(info), peb_read, peb, static_cast<bool>(live));
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    const FindHandle first(p, p.FindFirstThread(h));
    const FindHandle second(p, p.CreateHandleFromTID(h, kSecondThreadId));
    return std::tuple(p.GetThreadID(first.Get()), p.GetThreadID(second.Get()));
  });
}

// The same for the reads that a thread handle serves.
inline void ReadsLikeThread(Probe& p, void* copy, void* genuine) {
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    FILETIME created{};
    const int read = p.GetThreadCreateTime(h, created);
    return std::tuple(p.GetThreadID(h), p.GetThreadParentProcess(h), read, BytesOf(created));
  });
  SameThroughBoth(p, copy, genuine, [&](void* h) {
    std::vector<std::byte> teb(layout::kTebReadSize);
    const int read = p.GetTEB(h, reinterpret_cast<_TEB*>(teb.data()));
    return std::tuple(read, teb);
  });
}

}  // namespace zel::fuzz
