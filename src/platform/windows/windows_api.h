// The platform calls that the Windows source makes, under their Windows names
// in namespace zel::os: the real ones, or, where the source is built natively
// for the unit tests, those of the test double in tests/fake_windows.
#pragma once

#include "ZelTypes.h"

#if defined(ZEL_FAKE_WINDOWS)

#include "fake_windows/api.h"

#define ZEL_CALLBACK

#else

#include <windows.h>
#include <winternl.h>

namespace zel::os {
using ::BOOL;
using ::DWORD;
using ::FARPROC;
using ::FILETIME;
using ::HANDLE;
using ::HMODULE;
using ::LPARAM;
using ::MEMORY_BASIC_INFORMATION;
using ::PSID;
using ::SID_NAME_USE;
using ::SIZE_T;
using ::TOKEN_USER;
using ::WCHAR;
using ::WNDENUMPROC;

using ::CloseHandle;
using ::EnumWindows;
using ::GetLastError;
using ::GetLengthSid;
using ::GetModuleHandleW;
using ::GetProcAddress;
using ::GetProcessTimes;
using ::GetThreadTimes;
using ::GetTokenInformation;
using ::GetWindowThreadProcessId;
using ::IsBadWritePtr;
using ::LookupAccountSidW;
using ::OpenProcess;
using ::OpenProcessToken;
using ::OpenThread;
using ::ReadProcessMemory;
using ::SetLastError;
using ::VirtualQueryEx;

inline constexpr DWORD kProcessQueryInformation = PROCESS_QUERY_INFORMATION;
inline constexpr DWORD kProcessVmRead = PROCESS_VM_READ;
inline constexpr DWORD kProcessQueryLimitedInformation = PROCESS_QUERY_LIMITED_INFORMATION;
inline constexpr DWORD kThreadQueryInformation = THREAD_QUERY_INFORMATION;
inline constexpr DWORD kTokenQuery = TOKEN_QUERY;
inline constexpr ::TOKEN_INFORMATION_CLASS kTokenUser = ::TokenUser;
}  // namespace zel::os

#define ZEL_CALLBACK CALLBACK

#endif

namespace zel::os {
// Information classes of the native queries about one process or thread.
inline constexpr int kProcessBasicInformation = 0;
inline constexpr int kProcessWow64Information = 26;
inline constexpr int kThreadBasicInformation = 0;
}  // namespace zel::os
