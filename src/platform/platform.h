// The platform calls that the library makes, under their Windows names, in
// namespace zel::os. On Windows they are the real ones; elsewhere an emulation
// serves the same declarations over a model of a Windows system.
#pragma once

#include "ZelTypes.h"

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winternl.h>

namespace zel::os {
using ::BOOL;
using ::DWORD;
using ::FARPROC;
using ::HANDLE;
using ::HMODULE;
using ::LPARAM;
using ::PSID;
using ::SID_NAME_USE;
using ::SIZE_T;
using ::WCHAR;
using ::WNDENUMPROC;

using ::CloseHandle;
using ::EnumWindows;
using ::GetLastError;
using ::GetModuleHandleW;
using ::GetProcAddress;
using ::GetTokenInformation;
using ::TOKEN_USER;
using ::GetWindowThreadProcessId;
using ::IsBadReadPtr;
using ::IsBadWritePtr;
using ::LookupAccountSidW;
using ::OpenProcess;
using ::OpenProcessToken;
using ::OpenThread;
using ::ReadProcessMemory;

inline constexpr DWORD kProcessQueryInformation = PROCESS_QUERY_INFORMATION;
inline constexpr DWORD kProcessVmRead = PROCESS_VM_READ;
inline constexpr DWORD kThreadQueryInformation = THREAD_QUERY_INFORMATION;
inline constexpr DWORD kTokenQuery = TOKEN_QUERY;
inline constexpr ::TOKEN_INFORMATION_CLASS kTokenUser = ::TokenUser;
}  // namespace zel::os

#define ZEL_CALLBACK CALLBACK

#else

#include "emulated/api.h"

#define ZEL_CALLBACK

#endif

namespace zel::os {
// Information classes of the native queries.
inline constexpr int kSystemProcessInformation = 5;
inline constexpr int kProcessBasicInformation = 0;
inline constexpr int kThreadBasicInformation = 0;
}  // namespace zel::os
