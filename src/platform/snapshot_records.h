// The records that the snapshot query writes and that both sources and the
// core read, in the formats that 64-bit Windows delivers, with the basic
// information that both sources give. Each is defined once here; every offset
// and size is pinned by a static_assert, and the rest of the code names them
// through the constants below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ZelProcess.h"

namespace zel::layout {

// A counted UTF-16 string: byte length, then a pointer to the characters.
struct CountedString {
  std::uint16_t Length;
  std::uint16_t MaximumLength;
  std::uint32_t Padding;
  std::uint64_t Buffer;
};
static_assert(offsetof(CountedString, Length) == 0);
static_assert(offsetof(CountedString, Buffer) == 8);
static_assert(sizeof(CountedString) == 16);

// The platform's FILETIME: a count of 100-ns units in two 32-bit halves, the
// low one first.
struct FileTime {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};
static_assert(offsetof(FileTime, dwLowDateTime) == 0);
static_assert(offsetof(FileTime, dwHighDateTime) == 4);
static_assert(sizeof(FileTime) == 8);

inline FileTime AsFileTime(std::uint64_t value) {
  return {static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
}

// The platform's VM_COUNTERS: pointer-sized fields, PageFaultCount padded.
struct VmCounters {
  std::uint64_t PeakVirtualSize;
  std::uint64_t VirtualSize;
  std::uint32_t PageFaultCount;
  std::uint32_t Padding;
  std::uint64_t PeakWorkingSetSize;
  std::uint64_t WorkingSetSize;
  std::uint64_t QuotaPeakPagedPoolUsage;
  std::uint64_t QuotaPagedPoolUsage;
  std::uint64_t QuotaPeakNonPagedPoolUsage;
  std::uint64_t QuotaNonPagedPoolUsage;
  std::uint64_t PagefileUsage;
  std::uint64_t PeakPagefileUsage;
};
static_assert(offsetof(VmCounters, PageFaultCount) == 16);
static_assert(offsetof(VmCounters, PeakWorkingSetSize) == 24);
static_assert(offsetof(VmCounters, PeakPagefileUsage) == 80);
static_assert(sizeof(VmCounters) == 88);

struct IoCounters {
  std::uint64_t ReadOperationCount;
  std::uint64_t WriteOperationCount;
  std::uint64_t OtherOperationCount;
  std::uint64_t ReadTransferCount;
  std::uint64_t WriteTransferCount;
  std::uint64_t OtherTransferCount;
};
static_assert(sizeof(IoCounters) == 48);

// One process of the system snapshot (information class 5); its thread
// records follow it directly.
struct SystemProcess {
  std::uint32_t NextEntryOffset;
  std::uint32_t NumberOfThreads;
  std::uint8_t Reserved[24];
  std::uint64_t CreateTime;
  std::uint64_t UserTime;
  std::uint64_t KernelTime;
  CountedString ImageName;
  std::int32_t BasePriority;
  std::uint32_t SourceMarks;  // padding in the platform's records
  std::uint64_t UniqueProcessId;
  std::uint64_t InheritedFromUniqueProcessId;
  std::uint32_t HandleCount;
  std::uint32_t SessionId;
  std::uint64_t UniqueProcessKey;
  VmCounters Vm;
  std::uint64_t PrivatePageCount;
  IoCounters Io;
};
static_assert(offsetof(SystemProcess, NextEntryOffset) == 0);
static_assert(offsetof(SystemProcess, NumberOfThreads) == 4);
static_assert(offsetof(SystemProcess, CreateTime) == 32);
static_assert(offsetof(SystemProcess, UserTime) == 40);
static_assert(offsetof(SystemProcess, KernelTime) == 48);
static_assert(offsetof(SystemProcess, ImageName) + offsetof(CountedString, Length) == 56);
static_assert(offsetof(SystemProcess, ImageName) + offsetof(CountedString, Buffer) == 64);
static_assert(offsetof(SystemProcess, BasePriority) == 72);
static_assert(offsetof(SystemProcess, SourceMarks) == 76);
static_assert(offsetof(SystemProcess, UniqueProcessId) == 80);
static_assert(offsetof(SystemProcess, InheritedFromUniqueProcessId) == 88);
static_assert(offsetof(SystemProcess, HandleCount) == 96);
static_assert(offsetof(SystemProcess, SessionId) == 100);
static_assert(offsetof(SystemProcess, Vm) == 112);
static_assert(offsetof(SystemProcess, PrivatePageCount) == 200);
static_assert(offsetof(SystemProcess, Io) == 208);
static_assert(sizeof(SystemProcess) == 256);

// What the Linux source marks in SourceMarks of the records it writes. The
// field is padding in the platform's records: only the source that wrote a
// mark reads it (source::HasIoCounters).
inline constexpr std::uint32_t kIoCountersUnknown = 1;  // io may not be read

struct SystemThread {
  std::uint64_t KernelTime;
  std::uint64_t UserTime;
  std::uint64_t CreateTime;
  std::uint32_t WaitTime;
  std::uint32_t Padding;
  std::uint64_t StartAddress;
  std::uint64_t UniqueProcess;
  std::uint64_t UniqueThread;
  std::int32_t Priority;
  std::int32_t BasePriority;
  std::uint32_t ContextSwitches;
  std::uint32_t ThreadState;
  std::uint32_t WaitReason;
  std::uint32_t Padding2;
};
static_assert(offsetof(SystemThread, KernelTime) == 0);
static_assert(offsetof(SystemThread, UserTime) == 8);
static_assert(offsetof(SystemThread, CreateTime) == 16);
static_assert(offsetof(SystemThread, UniqueProcess) == 40);
static_assert(offsetof(SystemThread, UniqueThread) == 48);
static_assert(sizeof(SystemThread) == 80);

struct ProcessBasicInformation {
  std::int32_t ExitStatus;
  std::uint32_t Padding;
  std::uint64_t PebBaseAddress;
  std::uint64_t AffinityMask;
  std::int32_t BasePriority;
  std::uint32_t Padding2;
  std::uint64_t UniqueProcessId;
  std::uint64_t InheritedFromUniqueProcessId;
};
static_assert(offsetof(ProcessBasicInformation, PebBaseAddress) == 8);
static_assert(offsetof(ProcessBasicInformation, UniqueProcessId) == 32);
static_assert(sizeof(ProcessBasicInformation) == 48);

// How much of a process's environment GetEnvironmentBuffer copies.
inline constexpr std::size_t kEnvironmentReadSize = zel::kEnvironmentBufferSize;

// Reads a field of a record at any alignment.
template <class T>
T Load(const void* record, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const std::byte*>(record) + offset, sizeof value);
  return value;
}

template <class T>
void Store(void* record, std::size_t offset, const T& value) {
  std::memcpy(static_cast<std::byte*>(record) + offset, &value, sizeof value);
}

}  // namespace zel::layout

// Offset of a (possibly nested) field, for Load and Store.
#define ZEL_OFFSET(Record, Field) offsetof(::zel::layout::Record, Field)
