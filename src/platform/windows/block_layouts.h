// The blocks that the Windows source reads out of a live process or thread:
// its environment blocks (PEB, TEB), its parameters and their 32-bit copies,
// and what the thread and token queries answer. Each is defined once here,
// every offset pinned by a static_assert.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../snapshot_records.h"

namespace zel::layout {

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

// The loader's lists of a process's modules, which hang off PEB.Ldr: the
// loader data holds the heads of circular doubly linked lists of loader
// entries. A Flink points at the next entry's links of the same list (for
// the load order list, the entry's start), a Blink at the previous one's; the
// list ends where a Flink comes back to the head's own address. Only the
// fields up to BaseDllName are read.
static_assert(offsetof(PebPrefix, Ldr) == 0x18);
static_assert(offsetof(PebPrefix32, Ldr) == 0x0C);

struct ListEntry {
  std::uint64_t Flink;
  std::uint64_t Blink;
};
static_assert(offsetof(ListEntry, Blink) == 8);
static_assert(sizeof(ListEntry) == 16);

struct LoaderData {
  std::uint32_t Length;
  std::uint8_t Initialized;
  std::uint8_t Padding[3];
  std::uint64_t SsHandle;
  ListEntry InLoadOrderModuleList;
  ListEntry InMemoryOrderModuleList;
};
static_assert(offsetof(LoaderData, InLoadOrderModuleList) == 0x10);
static_assert(offsetof(LoaderData, InMemoryOrderModuleList) == 0x20);

struct LoaderEntry {
  ListEntry InLoadOrderLinks;
  ListEntry InMemoryOrderLinks;
  ListEntry InInitializationOrderLinks;
  std::uint64_t DllBase;
  std::uint64_t EntryPoint;
  std::uint32_t SizeOfImage;
  std::uint32_t Padding;
  CountedString FullDllName;
  CountedString BaseDllName;
};
static_assert(offsetof(LoaderEntry, InLoadOrderLinks) == 0x00);
static_assert(offsetof(LoaderEntry, InMemoryOrderLinks) == 0x10);
static_assert(offsetof(LoaderEntry, DllBase) == 0x30);
static_assert(offsetof(LoaderEntry, SizeOfImage) == 0x40);
static_assert(offsetof(LoaderEntry, FullDllName) == 0x48);
static_assert(offsetof(LoaderEntry, BaseDllName) == 0x58);

// The same for the 32-bit lists of a 32-bit process.
struct ListEntry32 {
  std::uint32_t Flink;
  std::uint32_t Blink;
};
static_assert(offsetof(ListEntry32, Blink) == 4);
static_assert(sizeof(ListEntry32) == 8);

struct LoaderData32 {
  std::uint32_t Length;
  std::uint32_t Initialized;
  std::uint32_t SsHandle;
  ListEntry32 InLoadOrderModuleList;
  ListEntry32 InMemoryOrderModuleList;
};
static_assert(offsetof(LoaderData32, InLoadOrderModuleList) == 0x0C);
static_assert(offsetof(LoaderData32, InMemoryOrderModuleList) == 0x14);

struct LoaderEntry32 {
  ListEntry32 InLoadOrderLinks;
  ListEntry32 InMemoryOrderLinks;
  ListEntry32 InInitializationOrderLinks;
  std::uint32_t DllBase;
  std::uint32_t EntryPoint;
  std::uint32_t SizeOfImage;
  CountedString32 FullDllName;
  CountedString32 BaseDllName;
};
static_assert(offsetof(LoaderEntry32, InLoadOrderLinks) == 0x00);
static_assert(offsetof(LoaderEntry32, InMemoryOrderLinks) == 0x08);
static_assert(offsetof(LoaderEntry32, DllBase) == 0x18);
static_assert(offsetof(LoaderEntry32, SizeOfImage) == 0x20);
static_assert(offsetof(LoaderEntry32, FullDllName) == 0x24);
static_assert(offsetof(LoaderEntry32, BaseDllName) == 0x2C);

// How many times, at most, a module list is read from its head while it
// keeps changing under the reads, before the walk gives up.
inline constexpr int kModuleListReads = 4;

// How much of each remote block the library reads.
inline constexpr std::size_t kPebReadSize = 684;
inline constexpr std::size_t kParametersReadSize = 1000;
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

}  // namespace zel::layout
