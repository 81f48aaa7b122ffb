/// @file
/// CZelProcess: a snapshot of every process and thread of the system, walked
/// through opaque handles, and live facts read out of other processes.
#pragma once

#include <cstddef>
#include <memory>

#include "ZelObject.h"
#include "ZelString.h"
#include "ZelTypes.h"

#if defined(_WIN32)
#if defined(ZELPROCESS_BUILD)
#define ZELPROCESS_API __declspec(dllexport)
#else
#define ZELPROCESS_API __declspec(dllimport)
#endif
#else
/// Exports CZelProcess from ZelProcessDLL64 (imports it into a host).
#define ZELPROCESS_API __attribute__((visibility("default")))
#endif

namespace zel {
/// The size in bytes of every copy that CZelProcess::GetEnvironmentBuffer
/// makes.
inline constexpr std::size_t kEnvironmentBufferSize = 4096;
/// The most that CZelProcess::GetEnvironmentBlock copies of a block, in
/// bytes (16 MiB): a longer block is cut, with ERROR_MORE_DATA.
inline constexpr std::size_t kEnvironmentBlockLimit = std::size_t{16} << 20;
}  // namespace zel

/// The string that CZelProcess::ReadProcessInfoString takes out of a
/// process's parameters block.
enum ZELPI_TYPE {
  ZELPI_IMAGEFILE = 0,         ///< The image file's path (CZelProcess::GetImageFile).
  ZELPI_COMMANDLINE = 1,       ///< The command line (CZelProcess::GetCommandLineW).
  ZELPI_CURRENTDIRECTORY = 2,  ///< The current directory (CZelProcess::GetCurrentDirectoryW).
  ZELPI_WINDOWTITLE = 3,       ///< The window title it was started with (GetWindowTitle).
  ZELPI_DESKTOPNAME = 4,       ///< The desktop it was started on (CZelProcess::GetDesktopName).
  ZELPI_PATH = 5,              ///< The DLL search path it was started with (GetPath).
};

/// One process record of the snapshot, as the platform lays it out; opaque.
struct _SYSTEM_PROCESSES;

namespace zel {
class AccountNames;
}

/// A snapshot of every process and thread of the system, and the live facts
/// of the processes in it.
///
/// The object takes a snapshot when it is made and a new one on Refresh().
/// A host walks the snapshot through handles: a process handle stands on one
/// process of it (FindFirstProcess(), FindNextProcess(),
/// CreateHandleFromPID()), a thread handle on one thread of a process
/// (FindFirstThread(), FindNextThread(), CreateHandleFromTID()), and a
/// module handle on one module that a live process has loaded
/// (FindFirstModule(), FindNextModule()). Handles are the host's, opaque,
/// and given back with CloseHandle(); zel::FindHandle does that for it.
///
/// Every operation records its outcome in the object's error holder
/// (CZelObject::GetErrorCode(); ZelCodes.h names the codes and
/// zel::ErrorMessage() gives their texts). Its result only says whether a
/// value is there. Each member says what it records, and where it records
/// nothing, so that the previous code stays in place.
///
/// **Valid handles.** A handle is exactly what the library handed out and
/// has not taken back: any other pointer (null, the host's own memory, a
/// copy of a handle's bytes, a handle already closed) is refused by every
/// member with its code for a bad handle, is never read through and never
/// freed; the library tells its own handles by where they lie, without
/// reading or probing the host's memory. An operation that reads through a
/// handle takes, moreover, only one of the kind it expects, into the
/// snapshot that this object holds now (which its copies share until one of
/// them refreshes). A handle into another object's snapshot, or into one
/// that a refresh has replaced, is refused as a bad handle: it could only
/// read memory that may have been released. Such a handle may still be
/// closed, duplicated or tested with IsProcessHandle(), through any object.
///
/// **Live reads.** The members that read a running process (its strings,
/// environment, owner and windows) take its ID from the snapshot and check
/// that the process now under that ID is the one the snapshot saw: one whose
/// ID a later process has taken fails as a gone one (ended, and held by
/// nothing) does. One that has ended but is still held (by a handle on
/// Windows, as a zombie on Linux) keeps its owner and its exit status, which
/// are read, but not its memory: its strings and environment (and on
/// Windows its PEB) fail with ERROR_ACCESS_DENIED (5).
/// On Linux they read /proc; what Linux has no counterpart
/// for is not invented: the window title, desktop and path are empty,
/// there are no windows, and GetReadHandle(), GetPEB() and GetTEB() record
/// ERROR_NOT_SUPPORTED (50).
///
/// An object and its handles are used by one thread at a time; distinct
/// objects share nothing.
class ZELPROCESS_API CZelProcess : public CZelObject {
 public:
  /// Resolves the native entry points and takes the first snapshot.
  ///
  /// Throws std::system_error in zel::error_category() when it cannot,
  /// with the code why: ERROR_MOD_NOT_FOUND (126) without a loaded
  /// NTDLL.DLL and ERROR_PROC_NOT_FOUND (127) for a missing entry point (or
  /// whatever last error the platform gave); the status of the snapshot's
  /// size probe when it was not STATUS_INFO_LENGTH_MISMATCH (on Linux the
  /// code why /proc could not be listed or read: ERROR_TOO_MANY_OPEN_FILES,
  /// 4, ...); ERROR_OUTOFMEMORY (14) when the buffer cannot be had; the
  /// status of a fill that failed otherwise than for want of room;
  /// ERROR_NOT_FOUND (1168) for a snapshot without processes, and when
  /// processes kept appearing faster than the buffer grew (the fill is tried
  /// again, larger, a few times). The new object's code is 0.
  CZelProcess();
  /// A copy that shares the other's snapshot (the last owner releases it)
  /// and takes its code; nothing is read from the platform. Handles of
  /// either object are valid for both until one of them refreshes.
  CZelProcess(const CZelProcess& other);
  /// Takes the other's code and shares its snapshot, releasing this
  /// object's own; assigning an object to itself changes nothing.
  CZelProcess& operator=(const CZelProcess& other);
  /// Releases the object's share of its snapshot. Handles into it can then
  /// only be closed, duplicated or tested, through another object.
  virtual ~CZelProcess();
  /// Returns 0; does and records nothing.
  virtual int Dump();

  /// Takes a new snapshot in place of the one the object holds; 1 when it
  /// has a new one, else 0.
  ///
  /// Records nothing on success. A failure changes nothing: the object
  /// keeps its old snapshot, whose handles stay valid, and records why,
  /// as the constructor would throw it: the size probe's status,
  /// ERROR_OUTOFMEMORY (14) when the buffer cannot be had, the status of a
  /// fill that failed, and ERROR_NOT_FOUND (1168) when the new snapshot
  /// would hold no process or the processes kept appearing faster than the
  /// buffer grew.
  int Refresh();
  /// The number of processes in the snapshot; 0 without one. Records
  /// nothing.
  unsigned int GetProcessCount();

  /// A process handle on the first process whose image name matches
  /// `strPattern`, or on the first process of the snapshot for an empty
  /// pattern; null when there is none.
  ///
  /// The pattern is a list of wildcard patterns, as
  /// CZelPathString::MatchSpec() takes it; the handle keeps its own copy,
  /// and FindNextProcess() moves on to the next match. Records 0 with the
  /// handle; ERROR_NOT_FOUND (1168) when the object holds no snapshot or no
  /// process matches; ERROR_OUTOFMEMORY (14) when the handle cannot be
  /// made. A failure leaves no handle to close.
  void* FindFirstProcess(CZelString strPattern);
  /// Moves the process handle `hFind` to the next process (with a pattern,
  /// the next that matches it); 1 when it moved, else 0.
  ///
  /// Records 0 when it moved; ERROR_INVALID_PARAMETER (87) for a bad handle
  /// (a thread handle included); ERROR_NO_MORE_ITEMS (259) at the end of the
  /// snapshot, where the handle is left on its last process; and
  /// ERROR_OUTOFMEMORY (14) when a name cannot be tested, where the handle
  /// is left where it stood.
  int FindNextProcess(void* hFind);
  /// Releases a handle of any kind, with its pattern or module list; 1 when
  /// released, else 0.
  ///
  /// Takes a stale handle too, through any object. Records 0 when released;
  /// ERROR_INVALID_PARAMETER (87) for a pointer that is not a handle the
  /// library handed out and has not taken back, which is left alone;
  /// ERROR_INVALID_HANDLE (6) for a handle whose kind byte the host has
  /// overwritten with none of process, thread and module, which is not
  /// freed.
  int CloseHandle(void* hFind);
  /// A new handle of the same kind, at the same place and with a pattern (a
  /// module handle: a module list) of its own, to be closed on its own; null
  /// on failure.
  ///
  /// Takes a stale handle too (the copy is as stale). Records 0 with the
  /// copy; ERROR_INVALID_PARAMETER (87) for a pointer that is not a handle
  /// the library handed out and has not taken back; ERROR_INVALID_HANDLE (6)
  /// for a kind byte that is none of process, thread and module;
  /// ERROR_OUTOFMEMORY (14) when the copy cannot be made, which leaves
  /// nothing allocated.
  void* DuplicateHandle(void* hFind);
  /// 1 for a process handle, 0 for a thread or module handle or anything
  /// else; the code tells which.
  ///
  /// Takes a stale handle too. Records 0 for a handle of any kind;
  /// ERROR_INVALID_HANDLE (6) for a pointer that is not a handle the library
  /// handed out and has not taken back; ERROR_UNKNOWN_PROPERTY (1608) for a
  /// kind byte that is none of the three.
  int IsProcessHandle(void* hFind);
  /// A process handle on the process of the snapshot with the ID
  /// `dwProcessId`; null when there is none.
  ///
  /// Records 0 with the handle; ERROR_NOT_FOUND (1168) when the snapshot
  /// holds no such process; ERROR_OUTOFMEMORY (14) when the handle cannot be
  /// made.
  void* CreateHandleFromPID(unsigned int dwProcessId);

  /// The image name of the process under the process handle `hProcess`, as
  /// the snapshot holds it; empty for a bad handle.
  ///
  /// Records 0 with the name; ERROR_INVALID_PARAMETER (87) for a bad handle.
  /// A failed allocation leaves as std::bad_alloc.
  CZelString GetName(void* hProcess);
  /// The ID of the process under `hProcess`; 0xFFFFFFFF for a bad handle.
  /// Records 0 with the ID; ERROR_INVALID_PARAMETER (87) for a bad handle.
  unsigned int GetProcessID(void* hProcess);
  /// The ID of the parent of the process under `hProcess` (the process it
  /// was started from, which may have ended since); 0xFFFFFFFF for a bad
  /// handle. Records 0 with the ID; ERROR_INVALID_PARAMETER (87) for a bad
  /// handle.
  unsigned int GetParentProcess(void* hProcess);
  /// The base priority of the process under `hProcess` (on Linux, the one of
  /// its priority class that Windows would show for its scheduling); -1 for
  /// a bad handle. Records 0 with the priority; ERROR_INVALID_PARAMETER (87)
  /// for a bad handle.
  long GetBasePriority(void* hProcess);
  /// The number of threads of the process under `hProcess`; 0xFFFFFFFF for
  /// a bad handle. Records nothing on success; ERROR_INVALID_PARAMETER (87)
  /// for a bad handle.
  unsigned int GetThreadCount(void* hProcess);
  /// Writes when the process under `hProcess` was created into `ftCreate`
  /// (0 where the platform has no time for it); 1, or 0 for a bad handle.
  /// Records 0 on success; ERROR_INVALID_PARAMETER (87) for a bad handle,
  /// leaving `ftCreate` as it was.
  int GetCreateTime(void* hProcess, _FILETIME& ftCreate);
  /// Writes the user-mode CPU time of the process under `hProcess` into
  /// `ftUser`; 1, or 0 for a bad handle. Records 0 on success;
  /// ERROR_INVALID_PARAMETER (87) for a bad handle, leaving `ftUser` as it
  /// was.
  int GetUserTime(void* hProcess, _FILETIME& ftUser);
  /// Writes the kernel-mode CPU time of the process under `hProcess` into
  /// `ftKernel`; 1, or 0 for a bad handle. Records 0 on success;
  /// ERROR_INVALID_PARAMETER (87) for a bad handle, leaving `ftKernel` as it
  /// was.
  int GetKernelTime(void* hProcess, _FILETIME& ftKernel);
  /// Writes the memory counters of the process under `hProcess` into
  /// `vmCounters`; 1, or 0 for a bad handle. Records nothing on success;
  /// ERROR_INVALID_HANDLE (6) for a bad handle, leaving `vmCounters` as it
  /// was.
  int GetMemoryCounters(void* hProcess, _VM_COUNTERS& vmCounters);
  /// Writes the I/O counters of the process under `hProcess` into
  /// `ioCounters`; 1, or 0 on failure, leaving `ioCounters` as it was.
  /// Records nothing on success; ERROR_INVALID_HANDLE (6) for a bad handle;
  /// ERROR_ACCESS_DENIED (5) when the snapshot could not read them (on
  /// Linux, the io file of a process that the caller may not trace).
  int GetIOCounters(void* hProcess, _IO_COUNTERS& ioCounters);

  /// A thread handle on the first thread of the process under the process
  /// handle `hProcess`; null on failure. The thread handle does not depend
  /// on the process handle, which may move on or be closed.
  ///
  /// Records nothing on success; ERROR_INVALID_PARAMETER (87) for a bad
  /// handle; ERROR_OUTOFMEMORY (14) when the handle cannot be made. A
  /// process without threads gets a handle all the same, whose queries
  /// record ERROR_NO_MORE_ITEMS (259).
  void* FindFirstThread(void* hProcess);
  /// Moves the thread handle `hThread` to the next thread of its process;
  /// 1 when it moved, else 0.
  ///
  /// Records nothing when it moved; ERROR_INVALID_PARAMETER (87) for a bad
  /// handle (a process handle included); ERROR_NO_MORE_ITEMS (259) on the
  /// last thread, where the handle stays.
  int FindNextThread(void* hThread);
  /// The ID of the thread under `hThread`; 0xFFFFFFFF on failure. Records
  /// nothing on success; ERROR_INVALID_PARAMETER (87) for a bad handle;
  /// ERROR_NO_MORE_ITEMS (259) for a process without threads.
  unsigned int GetThreadID(void* hThread);
  /// The ID of the process that the thread under `hThread` belongs to;
  /// 0xFFFFFFFF on failure. Records nothing on success;
  /// ERROR_INVALID_PARAMETER (87) for a bad handle; ERROR_NO_MORE_ITEMS
  /// (259) for a process without threads.
  unsigned int GetThreadParentProcess(void* hThread);
  /// Writes when the thread under `hThread` was created into `ftCreate`; 1,
  /// or 0 on failure, leaving `ftCreate` as it was. Records 0 on success;
  /// ERROR_INVALID_PARAMETER (87) for a bad handle; ERROR_NO_MORE_ITEMS
  /// (259) for a process without threads.
  int GetThreadCreateTime(void* hThread, _FILETIME& ftCreate);
  /// A thread handle on the thread with the ID `dwThreadId` of the process
  /// under the process handle `hProcess`; null when there is none.
  ///
  /// Records nothing on success; what FindFirstThread() records when it
  /// fails; ERROR_NO_MORE_ITEMS (259) when the process has no such thread.
  void* CreateHandleFromTID(void* hProcess, unsigned int dwThreadId);

  /// The image file of the live process under `hProcess`: the path of the
  /// executable it runs; empty on failure.
  ///
  /// Records 0 on success; ERROR_INVALID_PARAMETER (87) for a bad handle;
  /// ERROR_ACCESS_DENIED (5) when the process cannot be opened or read, has
  /// ended (whether gone or still held: its memory is gone; on Linux a
  /// process has ended only when none of its threads runs), or its ID now
  /// names a later process; on Windows the query's status, or the last
  /// error of a read of its memory that failed, and ERROR_OUTOFMEMORY (14)
  /// when the text cannot be had; on Linux the code of any other error of
  /// the read (ERROR_TOO_MANY_OPEN_FILES, 4, without a free descriptor).
  CZelString GetImageFile(void* hProcess);
  /// The command line of the live process under `hProcess` (on Linux its
  /// arguments, quoted as Windows quotes them, so that they split back the
  /// same); empty on failure. Records what GetImageFile() records.
  CZelString GetCommandLineW(void* hProcess);
  /// The current directory of the live process under `hProcess`; empty on
  /// failure. Records what GetImageFile() records.
  CZelString GetCurrentDirectoryW(void* hProcess);
  /// The window title that the live process under `hProcess` was started
  /// with (empty on Linux, which has none); empty on failure. Records what
  /// GetImageFile() records.
  CZelString GetWindowTitle(void* hProcess);
  /// The desktop that the live process under `hProcess` was started on
  /// (empty on Linux, which has none); empty on failure. Records what
  /// GetImageFile() records.
  CZelString GetDesktopName(void* hProcess);
  /// The DLL search path that the live process under `hProcess` was started
  /// with (empty on Linux, which has none); empty on failure. Records what
  /// GetImageFile() records.
  CZelString GetPath(void* hProcess);

  /// A copy of the first 4096 bytes of the environment of the live process
  /// under `hProcess`, the host's until it gives it back with
  /// FreeEnvironmentBuffer() (zel::EnvironmentCopy does); null on failure.
  ///
  /// The block holds UTF-16 "NAME=value" strings, each ended by a NUL, and
  /// an empty one after the last; a longer environment is cut at 4096
  /// bytes. On Linux a shorter one is followed by zeros; on Windows by what
  /// follows it in its memory region, and by zeros past the region's end.
  /// Does not depend on the snapshot: it survives Refresh().
  ///
  /// Records 0 on success; ERROR_INVALID_PARAMETER (87) for a bad handle
  /// and for a process that has ended and gone or whose ID now names a later
  /// process; ERROR_ACCESS_DENIED (5) when the process may not be read, or
  /// has no memory left to read (it has ended but is still held: on Linux a
  /// zombie, or a kernel thread); ERROR_OUTOFMEMORY (14) when the copy
  /// cannot be had; otherwise the platform's code why the process or its
  /// environment could not be read (on Windows the status of the
  /// basic-information query when it fails, or the last error of the memory
  /// region's query or of a read that got nothing, such as
  /// ERROR_PARTIAL_COPY, 299; on Linux ERROR_TOO_MANY_OPEN_FILES, 4, or
  /// ERROR_READ_FAULT, 30).
  unsigned char* GetEnvironmentBuffer(void* hProcess);
  /// A copy of the whole environment block of the live process under
  /// `hProcess`, the host's until it gives it back with
  /// FreeEnvironmentBuffer() (zel::EnvironmentCopy does); null on failure.
  /// Writes the copy's size in bytes into `cbSize`, which a failure leaves
  /// as it was.
  ///
  /// The copy holds UTF-16 "NAME=value" strings, each ended by a NUL, and
  /// the empty one after the last, up to and including that empty string's
  /// NUL, and nothing after it (an empty environment gives two NULs). On
  /// Windows the block is read up to its end within the memory region that
  /// holds it, from the blocks of a 32-bit process's own kind; on Linux it
  /// is all of the process's environ. A block that does not end within
  /// zel::kEnvironmentBlockLimit bytes (16 MiB) is cut: the copy then holds
  /// the variables that end within them and an empty string after them, so
  /// that it still ends as a whole block does, and ERROR_MORE_DATA (234) is
  /// recorded. Does not depend on the snapshot: it survives Refresh().
  ///
  /// Records 0 when the copy is whole; ERROR_MORE_DATA (234) when it was
  /// cut; otherwise what GetEnvironmentBuffer() records for the same
  /// failure, and on Windows ERROR_PARTIAL_COPY (299) for a block that its
  /// memory region ends before its terminating empty string.
  unsigned char* GetEnvironmentBlock(void* hProcess, std::size_t& cbSize);
  /// Gives back a copy that GetEnvironmentBuffer() or GetEnvironmentBlock()
  /// made, whatever its size, and sets `pBuffer` to null; 1, or 0 when
  /// `pBuffer` is not a copy that the library handed out and has not taken
  /// back (null included).
  ///
  /// Records nothing on success; ERROR_INVALID_PARAMETER (87) on failure,
  /// leaving `pBuffer`, and the memory it points to, as they were. The
  /// library knows its own copies, so any other block is refused, never
  /// freed, and giving one back needs no free descriptor or probe.
  int FreeEnvironmentBuffer(unsigned char*& pBuffer);

  /// Writes the account that owns the live process under `hProcess` into
  /// `strUser` and its domain into `strDomain`; 1, or 0 with both empty.
  ///
  /// On Linux the account is the process's real user, named by the user
  /// database (or by its number), and the domain the host's name. The owner
  /// is read live on every call; its names are looked up once per account
  /// and snapshot, and kept by this object (not by its copies), so that they
  /// are as of the first lookup after the snapshot, until Refresh(). Records 0
  /// on success, also for a process that has ended but is still held (on
  /// Linux a zombie), whose owner is still known; ERROR_INVALID_HANDLE (6)
  /// for a bad handle; ERROR_ACCESS_DENIED (5) when the process cannot be
  /// opened, has ended and gone, or its ID now names a later process;
  /// ERROR_NO_TOKEN (1008) when it has no owner to name; ERROR_OUTOFMEMORY
  /// (14) when the names cannot be had; on Windows the last error of the
  /// token or account lookup that failed (ERROR_INSUFFICIENT_BUFFER, 122,
  /// for a name over 259 characters); on Linux the code of any other error
  /// of the read (ERROR_TOO_MANY_OPEN_FILES, 4, without a free descriptor).
  int GetUserAndDomain(void* hProcess, CZelString& strUser, CZelString& strDomain);
  /// The first top-level window of the live process under `hProcess`, in the
  /// platform's order and hidden ones included; null when it has none (and
  /// always on Linux) or on failure.
  ///
  /// Records 0 whether or not a window was found, and for a process whose
  /// ID now names a later process (which has none of its windows);
  /// ERROR_INVALID_PARAMETER (87) for a bad handle; on Windows the last
  /// error when the windows cannot be enumerated.
  HWND GetMainWindow(void* hProcess);

  /// A module handle on the first module that the live process under the
  /// process handle `hProcess` has loaded whose file name matches
  /// `strPattern` (a list of wildcard patterns, as FindFirstProcess() takes
  /// it), or on its first module for an empty pattern; null on failure.
  ///
  /// The modules come in load order, the executable first: on Windows the
  /// loader's list (for a 32-bit process its 32-bit list), on Linux each
  /// file that the process maps with execute permission and "[vdso]", the
  /// executable first and the others by address, with as base the lowest
  /// start of the file's mappings and as size the span to the highest end.
  /// The whole list is read now, after the check that the process is still
  /// the snapshot's, and kept in the handle: the handle walks a consistent
  /// list, and neither FindNextModule() nor the getters read the process
  /// again. It keeps only the modules that match, so it needs no pattern of
  /// its own. A list of more than 16,384 modules, or of more than 8 Mi
  /// UTF-16 units of names and paths, is cut there (FindNextModule() says
  /// so at its end). The handle is closed with CloseHandle(), duplicated
  /// with DuplicateHandle() (which copies its list) and tested with
  /// IsProcessHandle() (0), and like every handle it reads only in the
  /// snapshot it was made in.
  ///
  /// Records 0 with the handle; ERROR_INVALID_PARAMETER (87) for a bad
  /// process handle; ERROR_NOT_FOUND (1168) when no module matches, or the
  /// process has none (a Linux kernel thread; on Windows one whose loader
  /// has not started); ERROR_ACCESS_DENIED (5) when the process cannot be
  /// opened or read (on Linux, another user's process as an unprivileged
  /// caller, as for the environment), has ended (even while still held) or
  /// its ID now names a later process; ERROR_PARTIAL_COPY (299) on Windows when the
  /// list kept changing (modules loading or unloading) through four reads,
  /// or is corrupt; ERROR_OUTOFMEMORY (14) when the list or the handle
  /// cannot be had; on Windows otherwise the status of the process query or
  /// the last error of the open or read that failed; on Linux the code of
  /// any other error of the read (ERROR_TOO_MANY_OPEN_FILES, 4). A failure
  /// leaves no handle to close.
  void* FindFirstModule(void* hProcess, CZelString strPattern);
  /// Moves the module handle `hModule` to the next module of its list; 1
  /// when it moved, else 0.
  ///
  /// Records 0 when it moved; ERROR_INVALID_PARAMETER (87) for a bad handle
  /// (one of another kind, a stale or a foreign one included);
  /// ERROR_NO_MORE_ITEMS (259) at the end of the list, or ERROR_MORE_DATA
  /// (234) at the end of a list that was cut at its bounds; the handle then
  /// stays on its last module.
  int FindNextModule(void* hModule);
  /// The file name of the module under `hModule` ("kernel32.dll",
  /// "libc.so.6"); empty on failure. Records 0 with the name;
  /// ERROR_INVALID_PARAMETER (87) for a bad handle; ERROR_OUTOFMEMORY (14)
  /// when the string cannot be had.
  CZelString GetModuleName(void* hModule);
  /// The full path of the module under `hModule`; empty on failure. Records
  /// what GetModuleName() records.
  CZelString GetModulePath(void* hModule);
  /// The address at which the module under `hModule` is loaded, in the
  /// process's own address space; 0 for a bad handle. Records 0 with the
  /// address; ERROR_INVALID_PARAMETER (87) for a bad handle.
  std::uint64_t GetModuleBase(void* hModule);
  /// The size in bytes of the module under `hModule` (on Windows its
  /// image's size); 0 for a bad handle. Records what GetModuleBase()
  /// records.
  std::uint64_t GetModuleSize(void* hModule);

 protected:
  /// Resolves the three native entry points again into their members; 1
  /// when all are there, else 0 (the members up to the missing one are
  /// set). Records nothing. On Linux they are the library's own, over
  /// /proc.
  int InitFunctionsPointers();
  /// Takes a new snapshot, as Refresh() does, with the same results and
  /// codes.
  int ReadProcesses();
  /// The snapshot's record of the process with the ID `dwProcessId`, or
  /// null. Records nothing.
  _SYSTEM_PROCESSES* GetProcess(unsigned int dwProcessId);
  /// Copies the first 5778 bytes of the environment block (TEB) of the live
  /// thread under the thread handle `hThread` into the caller's buffer;
  /// nonzero when all were read.
  ///
  /// Records 0 on success; ERROR_INVALID_PARAMETER (87) for a bad handle;
  /// ERROR_NO_MORE_ITEMS (259) for a process without threads; on Windows
  /// the last error when the thread cannot be opened (or its ID names a
  /// later thread) or the read fails, and the status of a failed thread
  /// query; on Linux ERROR_NOT_SUPPORTED (50).
  int GetTEB(void* hThread, _TEB* pTeb);

  /// A platform handle on the live process under `hProcess`, opened for
  /// query and read (0x0410), for the caller to close with the platform's
  /// CloseHandle; null on failure.
  ///
  /// Records nothing on Windows, whether or not it opens (null too for a
  /// process whose ID now names a later process); ERROR_INVALID_PARAMETER
  /// (87) for a bad handle; on Linux, which lends no such handle,
  /// ERROR_NOT_SUPPORTED (50).
  void* GetReadHandle(void* hProcess);
  /// Writes the basic information of the live process under `hProcess` (48
  /// bytes) into `pInfo`; 1, or 0 on failure.
  ///
  /// On Linux it holds the IDs, the base priority, the affinity, and as exit
  /// status zel::kStillActive while any thread of the process runs; no PEB.
  /// Records 0 on success, also for a process that has ended but is still
  /// held (on Linux a zombie), whose exit status it gives;
  /// ERROR_ACCESS_DENIED (5) for a bad handle, and when the process cannot
  /// be opened, has ended and gone or its ID now names a later process;
  /// ERROR_INVALID_PARAMETER (87) when `pInfo` is not writable; on Windows
  /// the query's status when it fails (0 when it answers nothing); on Linux
  /// the code of any other error of the read (ERROR_TOO_MANY_OPEN_FILES, 4,
  /// without a free descriptor).
  int GetProcessInformation(void* hProcess, _PROCESS_BASIC_INFORMATION* pInfo);
  /// Copies the first 684 bytes of the environment block (PEB) of the live
  /// process under `hProcess` into the caller's buffer; nonzero when read.
  ///
  /// Without the basic information the PEB's address is not known, and
  /// nothing is read. Records 0 on success; ERROR_INVALID_PARAMETER (87) for
  /// a bad handle; ERROR_ACCESS_DENIED (5) when the process cannot be opened;
  /// the status of the basic-information query when it fails; the read's
  /// last error when it fails (ERROR_ACCESS_DENIED, 5, for a process that
  /// has ended but is still held); on Linux ERROR_NOT_SUPPORTED (50).
  int GetPEB(void* hProcess, _PEB* pPeb);
  /// The string `eType` of the live process under `hProcess`; empty on
  /// failure. Records what GetImageFile() records, and
  /// ERROR_INVALID_PARAMETER (87) for a type outside ZELPI_TYPE (any number
  /// may be passed), before the process is opened.
  CZelString ReadProcessInfoString(void* hProcess, ZELPI_TYPE eType);

  /// The snapshot's entry point: NtQuerySystemInformation on Windows; on
  /// Linux the library's own, which answers information class 5 from /proc
  /// and STATUS_NOT_SUPPORTED for any other.
  ZEL_PFN_NTQUERYSYSTEMINFORMATION m_pfnNtQuerySystemInformation;
  /// NtQueryInformationProcess on Windows; on Linux one that answers
  /// STATUS_NOT_SUPPORTED.
  ZEL_PFN_NTQUERYINFORMATIONPROCESS m_pfnNtQueryInformationProcess;
  /// NtQueryInformationThread on Windows; on Linux one that answers
  /// STATUS_NOT_SUPPORTED.
  ZEL_PFN_NTQUERYINFORMATIONTHREAD m_pfnNtQueryInformationThread;
  /// The snapshot: its first process record, or null without one. Shared
  /// with the object's copies; the library owns it.
  _SYSTEM_PROCESSES* m_pProcesses;
  /// The snapshot's size in bytes.
  ZelUlong m_cbProcesses;

 private:
  // Takes a new snapshot; on failure returns 0 with the code or status why.
  int TakeSnapshot(ZelCode* failure);

  // The names of the accounts that own processes, looked up once per
  // snapshot; made at the first GetUserAndDomain(), never shared.
  std::unique_ptr<zel::AccountNames> m_pAccountNames;
};
