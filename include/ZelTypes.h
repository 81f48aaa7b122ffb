/// @file
/// The platform records that cross the interface of CZelProcess.
///
/// On Windows these are the platform's own records: this header only
/// declares them, and a host that reads their fields includes <windows.h>
/// and <winternl.h> itself. Elsewhere they are defined here with the x64
/// layouts and field names of Windows, in fixed-width types, so that a host
/// reads the same fields on every target. No other Windows name (DWORD,
/// ULONG, SIZE_T, NTSTATUS...) is defined, so a host may define its own.
#pragma once

// First, so that an older standard meets its message before anything else.
#include "ZelVersion.h"

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

/// A time as Windows gives it: a count of 100-ns units in two halves. A
/// point in time counts from 1601-01-01 UTC; a duration from 0.
typedef struct _FILETIME {
  std::uint32_t dwLowDateTime;   ///< The low 32 bits of the count.
  std::uint32_t dwHighDateTime;  ///< The high 32 bits of the count.
} FILETIME;

/// A process's memory counters, in bytes but for the page faults. On Linux
/// they come from the process's status and stat files: no pool is charged
/// to a process there, and the page file usage is its private (anonymous)
/// memory in use, resident or swapped out.
typedef struct _VM_COUNTERS {
  std::uint64_t PeakVirtualSize;             ///< The largest VirtualSize so far (VmPeak).
  std::uint64_t VirtualSize;                 ///< The address space in use (VmSize).
  std::uint32_t PageFaultCount;              ///< Page faults so far (minor and major).
  std::uint64_t PeakWorkingSetSize;          ///< The largest WorkingSetSize so far (VmHWM).
  std::uint64_t WorkingSetSize;              ///< The memory resident now (VmRSS).
  std::uint64_t QuotaPeakPagedPoolUsage;     ///< The largest paged pool charge; 0 on Linux.
  std::uint64_t QuotaPagedPoolUsage;         ///< The paged pool charged; 0 on Linux.
  std::uint64_t QuotaPeakNonPagedPoolUsage;  ///< The largest non-paged pool charge; 0 on Linux.
  std::uint64_t QuotaNonPagedPoolUsage;      ///< The non-paged pool charged; 0 on Linux.
  std::uint64_t PagefileUsage;               ///< The private bytes committed.
  std::uint64_t PeakPagefileUsage;  ///< The largest PagefileUsage; on Linux, PagefileUsage.
} VM_COUNTERS;

/// A process's I/O counters since it started. On Linux they come from its io
/// file: read and write system calls and their bytes, and no "other" I/O.
typedef struct _IO_COUNTERS {
  std::uint64_t ReadOperationCount;   ///< Read operations.
  std::uint64_t WriteOperationCount;  ///< Write operations.
  std::uint64_t OtherOperationCount;  ///< Other I/O operations; 0 on Linux.
  std::uint64_t ReadTransferCount;    ///< Bytes read.
  std::uint64_t WriteTransferCount;   ///< Bytes written.
  std::uint64_t OtherTransferCount;   ///< Bytes of the other operations; 0 on Linux.
} IO_COUNTERS;

/// A process's environment block, as Windows lays it out; opaque, and never
/// read on Linux.
struct _PEB;
/// A thread's environment block, as Windows lays it out; opaque, and never
/// read on Linux.
struct _TEB;

/// A process's basic information, as the native process query gives it.
typedef struct _PROCESS_BASIC_INFORMATION {
  std::int32_t ExitStatus;        ///< kStillActive while it runs, else its exit status.
  struct _PEB* PebBaseAddress;    ///< Its PEB in its own address space; null on Linux.
  std::uint64_t AffinityMask;     ///< The processors it may run on, one bit each.
  std::int32_t BasePriority;      ///< Its base priority, as CZelProcess::GetBasePriority gives it.
  std::uint64_t UniqueProcessId;  ///< Its ID.
  std::uint64_t InheritedFromUniqueProcessId;  ///< Its parent's ID.
} PROCESS_BASIC_INFORMATION;

/// What a window handle points to; Linux has no windows, so no HWND there is
/// ever anything but null.
struct HWND__ {
  int unused;  ///< A field, so that the record is complete; never read.
};
/// A top-level window.
typedef struct HWND__* HWND;

static_assert(sizeof(FILETIME) == 8 && sizeof(VM_COUNTERS) == 88 && sizeof(IO_COUNTERS) == 48 &&
                  sizeof(PROCESS_BASIC_INFORMATION) == 48,
              "the records have Windows' x64 layouts");

/// The native entry points' status type: signed 32-bit, as NTSTATUS.
typedef std::int32_t ZelNtStatus;
/// The native entry points' length type: unsigned 32-bit, as ULONG.
typedef std::uint32_t ZelUlong;
/// The native entry points' calling convention: the platform's default.
#define ZEL_NTAPI

#endif

/// NtQuerySystemInformation: information class, buffer, its size, and the
/// size it needs or filled.
typedef ZelNtStatus(ZEL_NTAPI* ZEL_PFN_NTQUERYSYSTEMINFORMATION)(int, void*, ZelUlong, ZelUlong*);
/// NtQueryInformationProcess: platform process handle, information class,
/// buffer, its size, and the size filled.
typedef ZelNtStatus(ZEL_NTAPI* ZEL_PFN_NTQUERYINFORMATIONPROCESS)(void*, int, void*, ZelUlong,
                                                                  ZelUlong*);
/// NtQueryInformationThread: platform thread handle, information class,
/// buffer, its size, and the size filled.
typedef ZelNtStatus(ZEL_NTAPI* ZEL_PFN_NTQUERYINFORMATIONTHREAD)(void*, int, void*, ZelUlong,
                                                                 ZelUlong*);
