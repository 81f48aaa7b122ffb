// Every member of the process object that takes a handle, with what it gives
// and records for a pointer that is not a valid handle for it: the one table
// that the unit tests and the handle fuzzer hold the library to.
#pragma once

#include <cstring>
#include <functional>
#include <vector>

#include "ZelHandles.h"
#include "support/protected_process.h"
#include "platform/codes.h"
#include "platform/windows/block_layouts.h"
#include "platform/windows/unique_handle.h"

namespace zel::test {

// The handles a member reads through; the three that serve every handle the
// library made (close, duplicate, test) take a stale or foreign one too.
enum class Takes { Process, Thread, Module, AnyRecord };

struct HandleMember {
  const char* name;
  Takes takes;
  // What it records when it refuses a pointer.
  ZelCode refusal;
  // Calls the member with `h`: true when it gave its failure result and left
  // the caller's outputs as they were. What a wrong success hands out is
  // given back, so that a failing row leaks nothing.
  std::function<bool(ProtectedProcess&, void*)> refuses;
};

inline const std::vector<HandleMember>& HandleMembers() {
  constexpr unsigned kNoId = 0xFFFFFFFF;
  constexpr auto kBadParameter = code::kInvalidParameter;
  constexpr auto kBadHandle = code::kInvalidHandle;
  using P = ProtectedProcess;
  const auto no_handle = [](P& p, void* made) {
    if (!made) return true;
    p.CloseHandle(made);
    return false;
  };
  const auto id = [](unsigned (CZelProcess::*get)(void*)) {
    return [get](P& p, void* h) { return (p.*get)(h) == kNoId; };
  };
  const auto time = [](int (CZelProcess::*get)(void*, _FILETIME&)) {
    return [get](P& p, void* h) {
      FILETIME t{7, 9};
      return (p.*get)(h, t) == 0 && t.dwLowDateTime == 7 && t.dwHighDateTime == 9;
    };
  };
  // A getter into the caller's record, which must stay as it was.
  const auto untouched = []<class Record>(int (CZelProcess::*get)(void*, Record&),
                                          unsigned char fill) {
    return [get, fill](P& p, void* h) {
      Record out, before;
      std::memset(&out, fill, sizeof out);
      before = out;
      return (p.*get)(h, out) == 0 && std::memcmp(&out, &before, sizeof out) == 0;
    };
  };
  const auto text = [](CZelString (CZelProcess::*get)(void*)) {
    return [get](P& p, void* h) { return (p.*get)(h).IsEmpty(); };
  };
  static const std::vector<HandleMember> members = {
      {"FindNextProcess", Takes::Process, kBadParameter,
       [](P& p, void* h) { return p.FindNextProcess(h) == 0; }},
      {"GetName", Takes::Process, kBadParameter, text(&CZelProcess::GetName)},
      {"GetProcessID", Takes::Process, kBadParameter, id(&CZelProcess::GetProcessID)},
      {"GetParentProcess", Takes::Process, kBadParameter, id(&CZelProcess::GetParentProcess)},
      {"GetBasePriority", Takes::Process, kBadParameter,
       [](P& p, void* h) { return p.GetBasePriority(h) == -1; }},
      {"GetThreadCount", Takes::Process, kBadParameter, id(&CZelProcess::GetThreadCount)},
      {"GetCreateTime", Takes::Process, kBadParameter, time(&CZelProcess::GetCreateTime)},
      {"GetUserTime", Takes::Process, kBadParameter, time(&CZelProcess::GetUserTime)},
      {"GetKernelTime", Takes::Process, kBadParameter, time(&CZelProcess::GetKernelTime)},
      {"GetMemoryCounters", Takes::Process, kBadHandle,
       untouched(&CZelProcess::GetMemoryCounters, 0xAB)},
      {"GetIOCounters", Takes::Process, kBadHandle, untouched(&CZelProcess::GetIOCounters, 0xCD)},
      {"FindFirstThread", Takes::Process, kBadParameter,
       [no_handle](P& p, void* h) { return no_handle(p, p.FindFirstThread(h)); }},
      {"CreateHandleFromTID", Takes::Process, kBadParameter,
       [no_handle](P& p, void* h) { return no_handle(p, p.CreateHandleFromTID(h, 1)); }},
      {"GetImageFile", Takes::Process, kBadParameter, text(&CZelProcess::GetImageFile)},
      {"GetCommandLineW", Takes::Process, kBadParameter, text(&CZelProcess::GetCommandLineW)},
      {"GetCurrentDirectoryW", Takes::Process, kBadParameter,
       text(&CZelProcess::GetCurrentDirectoryW)},
      {"GetWindowTitle", Takes::Process, kBadParameter, text(&CZelProcess::GetWindowTitle)},
      {"GetDesktopName", Takes::Process, kBadParameter, text(&CZelProcess::GetDesktopName)},
      {"GetPath", Takes::Process, kBadParameter, text(&CZelProcess::GetPath)},
      {"ReadProcessInfoString", Takes::Process, kBadParameter,
       [](P& p, void* h) { return p.ReadProcessInfoString(h, ZELPI_COMMANDLINE).IsEmpty(); }},
      {"GetEnvironmentBuffer", Takes::Process, kBadParameter,
       [](P& p, void* h) { return !EnvironmentCopy(p, p.GetEnvironmentBuffer(h)).Get(); }},
      {"GetEnvironmentBlock", Takes::Process, kBadParameter,
       [](P& p, void* h) {
         std::size_t size = 7;
         unsigned char* block = p.GetEnvironmentBlock(h, size);
         return !EnvironmentCopy(p, block, size).Get() && size == 7;
       }},
      {"GetUserAndDomain", Takes::Process, kBadHandle,
       [](P& p, void* h) {
         CZelString user = CZelString::FromUtf8("user"), domain = CZelString::FromUtf8("domain");
         return p.GetUserAndDomain(h, user, domain) == 0 && user.IsEmpty() && domain.IsEmpty();
       }},
      {"GetMainWindow", Takes::Process, kBadParameter,
       [](P& p, void* h) { return p.GetMainWindow(h) == nullptr; }},
      {"GetReadHandle", Takes::Process, kBadParameter,
       [](P& p, void* h) { return !os::UniqueHandle(p.GetReadHandle(h)); }},
      // A bad handle is answered as a process that cannot be opened.
      {"GetProcessInformation", Takes::Process, code::kAccessDenied,
       [](P& p, void* h) {
         layout::ProcessBasicInformation info{};
         info.ExitStatus = 7;
         return p.GetProcessInformation(h, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info)) ==
                    0 &&
                info.ExitStatus == 7;
       }},
      {"GetPEB", Takes::Process, kBadParameter,
       [](P& p, void* h) {
         std::vector<std::byte> peb(layout::kPebReadSize);
         return p.GetPEB(h, reinterpret_cast<_PEB*>(peb.data())) == 0;
       }},

      {"FindNextThread", Takes::Thread, kBadParameter,
       [](P& p, void* h) { return p.FindNextThread(h) == 0; }},
      {"GetThreadID", Takes::Thread, kBadParameter, id(&CZelProcess::GetThreadID)},
      {"GetThreadParentProcess", Takes::Thread, kBadParameter,
       id(&CZelProcess::GetThreadParentProcess)},
      {"GetThreadCreateTime", Takes::Thread, kBadParameter,
       time(&CZelProcess::GetThreadCreateTime)},
      {"GetTEB", Takes::Thread, kBadParameter,
       [](P& p, void* h) {
         std::vector<std::byte> teb(layout::kTebReadSize);
         return p.GetTEB(h, reinterpret_cast<_TEB*>(teb.data())) == 0;
       }},

      {"FindFirstModule", Takes::Process, kBadParameter,
       [no_handle](P& p, void* h) {
         return no_handle(p, p.FindFirstModule(h, CZelString::FromUtf8("*")));
       }},

      // The module handle's own members.
      {"FindNextModule", Takes::Module, kBadParameter,
       [](P& p, void* h) { return p.FindNextModule(h) == 0; }},
      {"GetModuleName", Takes::Module, kBadParameter, text(&CZelProcess::GetModuleName)},
      {"GetModulePath", Takes::Module, kBadParameter, text(&CZelProcess::GetModulePath)},
      {"GetModuleBase", Takes::Module, kBadParameter,
       [](P& p, void* h) { return p.GetModuleBase(h) == 0; }},
      {"GetModuleSize", Takes::Module, kBadParameter,
       [](P& p, void* h) { return p.GetModuleSize(h) == 0; }},

      {"CloseHandle", Takes::AnyRecord, kBadParameter,
       [](P& p, void* h) { return p.CloseHandle(h) == 0; }},
      {"DuplicateHandle", Takes::AnyRecord, kBadParameter,
       [no_handle](P& p, void* h) { return no_handle(p, p.DuplicateHandle(h)); }},
      {"IsProcessHandle", Takes::AnyRecord, kBadHandle,
       [](P& p, void* h) { return p.IsProcessHandle(h) == 0; }},
  };
  return members;
}

// What a pointer is to the library, which decides the members that must
// refuse it: none of its handles, one into a snapshot other than the
// object's (stale, or another object's), or a valid handle of one kind.
enum class Pointer { NoHandle, OtherSnapshot, ProcessHandle, ThreadHandle, ModuleHandle };

inline bool MustRefuse(const HandleMember& member, Pointer pointer) {
  switch (pointer) {
    case Pointer::NoHandle: return true;
    case Pointer::OtherSnapshot: return member.takes != Takes::AnyRecord;
    case Pointer::ProcessHandle:
    case Pointer::ThreadHandle:
    case Pointer::ModuleHandle: {
      const Takes own = pointer == Pointer::ProcessHandle  ? Takes::Process
                        : pointer == Pointer::ThreadHandle ? Takes::Thread
                                                           : Takes::Module;
      return member.takes != own && member.takes != Takes::AnyRecord;
    }
  }
  return true;
}

}  // namespace zel::test
