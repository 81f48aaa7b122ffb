// Platform types that cross the public interface of ZelProcess.
//
// On Windows these are the platform's own records: this header only declares
// them, and a host that reads their fields includes <windows.h> and
// <winternl.h> itself. Elsewhere they are defined here with the same x64
// layouts, so that a host reads the same fields on every target.
#pragma once

#include <cstdint>

#ifdef _WIN32

struct _FILETIME;
struct _VM_COUNTERS;
struct _IO_COUNTERS;
struct _PROCESS_BASIC_INFORMATION;
struct _PEB;
struct _TEB;
struct HWND__;
typedef struct HWND__* HWND;

// The native entry points' integer types: NTSTATUS is a long and ULONG an
// unsigned long on Windows.
typedef long ZelNtStatus;
typedef unsigned long ZelUlong;
#define ZEL_NTAPI __stdcall

#else

typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef std::uint64_t ULONGLONG;
typedef std::uint64_t SIZE_T;
typedef std::uint64_t ULONG_PTR;
typedef std::int32_t NTSTATUS;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct _VM_COUNTERS {
  SIZE_T PeakVirtualSize;
  SIZE_T VirtualSize;
  ULONG PageFaultCount;
  SIZE_T PeakWorkingSetSize;
  SIZE_T WorkingSetSize;
  SIZE_T QuotaPeakPagedPoolUsage;
  SIZE_T QuotaPagedPoolUsage;
  SIZE_T QuotaPeakNonPagedPoolUsage;
  SIZE_T QuotaNonPagedPoolUsage;
  SIZE_T PagefileUsage;
  SIZE_T PeakPagefileUsage;
} VM_COUNTERS;

typedef struct _IO_COUNTERS {
  ULONGLONG ReadOperationCount;
  ULONGLONG WriteOperationCount;
  ULONGLONG OtherOperationCount;
  ULONGLONG ReadTransferCount;
  ULONGLONG WriteTransferCount;
  ULONGLONG OtherTransferCount;
} IO_COUNTERS;

struct _PEB;
struct _TEB;

typedef struct _PROCESS_BASIC_INFORMATION {
  NTSTATUS ExitStatus;
  struct _PEB* PebBaseAddress;
  ULONG_PTR AffinityMask;
  std::int32_t BasePriority;
  ULONG_PTR UniqueProcessId;
  ULONG_PTR InheritedFromUniqueProcessId;
} PROCESS_BASIC_INFORMATION;

struct HWND__ {
  int unused;
};
typedef struct HWND__* HWND;

typedef std::int32_t ZelNtStatus;
typedef std::uint32_t ZelUlong;
#define ZEL_NTAPI

#endif

// The three native entry points that a process object resolves by name.
typedef ZelNtStatus(ZEL_NTAPI* ZEL_PFN_NTQUERYSYSTEMINFORMATION)(int, void*, ZelUlong, ZelUlong*);
typedef ZelNtStatus(ZEL_NTAPI* ZEL_PFN_NTQUERYINFORMATIONPROCESS)(void*, int, void*, ZelUlong,
                                                                  ZelUlong*);
typedef ZelNtStatus(ZEL_NTAPI* ZEL_PFN_NTQUERYINFORMATIONTHREAD)(void*, int, void*, ZelUlong,
                                                                 ZelUlong*);
