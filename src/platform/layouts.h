// The binary records that the library reads from the platform, in the formats
// that 64-bit Windows delivers (with the 32-bit blocks of its 32-bit
// processes), and the library's own handle record. Each is
// defined once here; every offset and size is pinned by a static_assert, and
// the rest of the code names them through the constants below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class CZelString;

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

struct ThreadBasicInformation {
  std::int32_t ExitStatus;
  std::uint32_t Padding;
  std::uint64_t TebBaseAddress;
  std::uint64_t ClientIdProcess;
  std::uint64_t ClientIdThread;
  std::uint64_t AffinityMask;
  std::int32_t Priority;
  std::int32_t BasePriority;
};
static_assert(offsetof(ThreadBasicInformation, TebBaseAddress) == 8);
static_assert(sizeof(ThreadBasicInformation) == 48);

// The start of the process environment block, up to the parameters pointer.
struct PebPrefix {
  std::uint8_t Flags[8];
  std::uint64_t Mutant;
  std::uint64_t ImageBaseAddress;
  std::uint64_t Ldr;
  std::uint64_t ProcessParameters;
};
static_assert(offsetof(PebPrefix, ProcessParameters) == 0x20);

// The start of the process parameters block, up to the desktop name.
struct ProcessParameters {
  std::uint32_t MaximumLength;
  std::uint32_t Length;
  std::uint32_t Flags;
  std::uint32_t DebugFlags;
  std::uint64_t ConsoleHandle;
  std::uint32_t ConsoleFlags;
  std::uint32_t Padding;
  std::uint64_t StandardInput;
  std::uint64_t StandardOutput;
  std::uint64_t StandardError;
  CountedString CurrentDirectory;
  std::uint64_t CurrentDirectoryHandle;
  CountedString DllPath;
  CountedString ImagePathName;
  CountedString CommandLine;
  std::uint64_t Environment;
  std::uint32_t Placement[9];
  std::uint32_t Padding2;
  CountedString WindowTitle;
  CountedString DesktopInfo;
};
static_assert(offsetof(ProcessParameters, CurrentDirectory) == 0x38);
static_assert(offsetof(ProcessParameters, DllPath) == 0x50);
static_assert(offsetof(ProcessParameters, ImagePathName) == 0x60);
static_assert(offsetof(ProcessParameters, CommandLine) == 0x70);
static_assert(offsetof(ProcessParameters, Environment) == 0x80);
static_assert(offsetof(ProcessParameters, WindowTitle) == 0xB0);
static_assert(offsetof(ProcessParameters, DesktopInfo) == 0xC0);

// The 32-bit copies that a 32-bit process on 64-bit Windows keeps beside the
// 64-bit blocks above. Its own code updates these, not the 64-bit ones: its
// current directory and environment are only right here. The native query
// of the process's WoW64 information answers a pointer-sized value, 0 for a
// 64-bit process; Windows answers where the 32-bit PEB lies, Wine only 1.
using Wow64Information = std::uint64_t;
static_assert(sizeof(Wow64Information) == 8);

// A PEB begins a page, so an answer that does not is only the flag; the
// 32-bit PEB is then the page after the 64-bit one, where both platforms put
// it.
inline constexpr std::uint64_t kPageSize = 0x1000;
inline constexpr std::uint64_t kPeb32AfterPeb64 = kPageSize;

struct CountedString32 {
  std::uint16_t Length;
  std::uint16_t MaximumLength;
  std::uint32_t Buffer;
};
static_assert(offsetof(CountedString32, Length) == 0);
static_assert(offsetof(CountedString32, Buffer) == 4);
static_assert(sizeof(CountedString32) == 8);

struct PebPrefix32 {
  std::uint8_t Flags[4];
  std::uint32_t Mutant;
  std::uint32_t ImageBaseAddress;
  std::uint32_t Ldr;
  std::uint32_t ProcessParameters;
};
static_assert(offsetof(PebPrefix32, ProcessParameters) == 0x10);

struct ProcessParameters32 {
  std::uint32_t MaximumLength;
  std::uint32_t Length;
  std::uint32_t Flags;
  std::uint32_t DebugFlags;
  std::uint32_t ConsoleHandle;
  std::uint32_t ConsoleFlags;
  std::uint32_t StandardInput;
  std::uint32_t StandardOutput;
  std::uint32_t StandardError;
  CountedString32 CurrentDirectory;
  std::uint32_t CurrentDirectoryHandle;
  CountedString32 DllPath;
  CountedString32 ImagePathName;
  CountedString32 CommandLine;
  std::uint32_t Environment;
  std::uint32_t Placement[9];
  CountedString32 WindowTitle;
  CountedString32 DesktopInfo;
};
static_assert(offsetof(ProcessParameters32, CurrentDirectory) == 0x24);
static_assert(offsetof(ProcessParameters32, DllPath) == 0x30);
static_assert(offsetof(ProcessParameters32, ImagePathName) == 0x38);
static_assert(offsetof(ProcessParameters32, CommandLine) == 0x40);
static_assert(offsetof(ProcessParameters32, Environment) == 0x48);
static_assert(offsetof(ProcessParameters32, WindowTitle) == 0x70);
static_assert(offsetof(ProcessParameters32, DesktopInfo) == 0x78);

// The start of the thread environment block.
struct TebPrefix {
  std::uint64_t ExceptionList;
  std::uint64_t StackBase;
  std::uint64_t StackLimit;
  std::uint64_t SubSystemTib;
  std::uint64_t FiberData;
  std::uint64_t ArbitraryUserPointer;
  std::uint64_t Self;
  std::uint64_t EnvironmentPointer;
  std::uint64_t ClientIdProcess;
  std::uint64_t ClientIdThread;
};
static_assert(offsetof(TebPrefix, Self) == 0x30);
static_assert(offsetof(TebPrefix, ClientIdProcess) == 0x40);
static_assert(offsetof(TebPrefix, ClientIdThread) == 0x48);

// How much of each remote block the library reads.
inline constexpr std::size_t kPebReadSize = 684;
inline constexpr std::size_t kParametersReadSize = 1000;
inline constexpr std::size_t kEnvironmentReadSize = 4096;
inline constexpr std::size_t kTebReadSize = 5778;
// The same sizes serve the 32-bit blocks.
static_assert(kParametersReadSize > sizeof(ProcessParameters));
static_assert(kParametersReadSize > sizeof(ProcessParameters32));
static_assert(kPebReadSize > sizeof(PebPrefix));
static_assert(kPebReadSize > sizeof(PebPrefix32));
static_assert(kTebReadSize > sizeof(TebPrefix));

// The token query of the owner lookup: a small buffer for the sizing call,
// then required length plus slack.
inline constexpr std::size_t kTokenSizingBufferSize = 16;
inline constexpr std::size_t kTokenBufferSlack = 4;
// Account and domain name buffers, in UTF-16 units with the terminator.
inline constexpr std::size_t kAccountNameUnits = 260;

// The record behind every handle the library hands out.
enum ZELFIND_KIND : std::uint8_t {
  ZELFIND_PROCESS = 1,
  ZELFIND_THREAD = 2,
};

struct ZELFIND_RECORD {
  std::uint32_t cbSize;
  std::uint32_t nThreadIndex;
  const std::byte* pProcess;
  union {
    CZelString* pFilter;       // a process handle's own copy of its pattern
    const std::byte* pThread;  // a thread handle's current thread record
  };
  std::uint8_t bKind;
  // Which snapshot the handle points into (the block's serial number).
  std::uint32_t nSnapshot;
};
static_assert(offsetof(ZELFIND_RECORD, cbSize) == 0);
static_assert(offsetof(ZELFIND_RECORD, nThreadIndex) == 4);
static_assert(offsetof(ZELFIND_RECORD, pProcess) == 8);
static_assert(offsetof(ZELFIND_RECORD, pFilter) == 16);
static_assert(offsetof(ZELFIND_RECORD, pThread) == 16);
static_assert(offsetof(ZELFIND_RECORD, bKind) == 24);
static_assert(offsetof(ZELFIND_RECORD, nSnapshot) == 28);
static_assert(sizeof(ZELFIND_RECORD) == 32);
inline constexpr std::uint32_t kFindRecordSize = sizeof(ZELFIND_RECORD);

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
