// The Windows calls that the Windows source makes, as the fake Windows serves
// them (fake_system.h) with Win32 semantics: handles that must be closed,
// last-error values, reads that fail where a memory region ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZelTypes.h"

namespace zel::os {

using BOOL = int;
using DWORD = std::uint32_t;
using SIZE_T = std::size_t;
using HANDLE = void*;
using HMODULE = struct FakeModule*;
using FARPROC = std::intptr_t (*)();
using LPARAM = std::intptr_t;
using PSID = void*;
using WCHAR = unsigned short;
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);

enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };
enum SID_NAME_USE { SidTypeUser = 1 };

// The token information of TokenUser: the SID pointer comes first.
struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};

// A region of a process's memory, as VirtualQueryEx answers it.
struct MEMORY_BASIC_INFORMATION {
  void* BaseAddress;
  void* AllocationBase;
  DWORD AllocationProtect;
  SIZE_T RegionSize;
  DWORD State;
  DWORD Protect;
  DWORD Type;
};
inline constexpr DWORD kMemCommit = 0x1000;
inline constexpr DWORD kMemFree = 0x10000;
inline constexpr DWORD kPageNoAccess = 0x01;
inline constexpr DWORD kPageReadWrite = 0x04;

inline constexpr DWORD kProcessQueryInformation = 0x0400;
inline constexpr DWORD kProcessVmRead = 0x0010;
inline constexpr DWORD kProcessQueryLimitedInformation = 0x1000;
inline constexpr DWORD kThreadQueryInformation = 0x0040;
inline constexpr DWORD kTokenQuery = 0x0008;
inline constexpr TOKEN_INFORMATION_CLASS kTokenUser = TokenUser;

HMODULE GetModuleHandleW(const wchar_t* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL IsBadReadPtr(const void* p, std::uintptr_t size);
BOOL IsBadWritePtr(void* p, std::uintptr_t size);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD process_id);
HANDLE OpenThread(DWORD access, BOOL inherit, DWORD thread_id);
using FILETIME = ::_FILETIME;
BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                     FILETIME* user);
BOOL GetThreadTimes(HANDLE thread, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                    FILETIME* user);
BOOL ReadProcessMemory(HANDLE process, const void* address, void* buffer, SIZE_T size,
                       SIZE_T* bytes_read);
SIZE_T VirtualQueryEx(HANDLE process, const void* address, MEMORY_BASIC_INFORMATION* info,
                      SIZE_T size);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
void SetLastError(DWORD code);
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, void* buffer, DWORD size,
                         DWORD* needed);
// The length of a SID, from its count of sub-authorities.
DWORD GetLengthSid(PSID sid);
BOOL LookupAccountSidW(const WCHAR* system, PSID sid, WCHAR* name, DWORD* name_units, WCHAR* domain,
                       DWORD* domain_units, SID_NAME_USE* use);
BOOL EnumWindows(WNDENUMPROC callback, LPARAM param);
DWORD GetWindowThreadProcessId(HWND window, DWORD* process_id);

}  // namespace zel::os
