// ZelProcess: a snapshot of every process and thread of the system, walked
// through opaque handles, and live facts read out of other processes.
//
// Every operation records its outcome in the object's error holder
// (CZelObject::GetErrorCode); its result only says whether a value is there.
// Handles point into the object's snapshot: after Refresh or destruction they
// may only be closed, duplicated or tested with IsProcessHandle.
#pragma once

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
#define ZELPROCESS_API __attribute__((visibility("default")))
#endif

// Selects the string that ReadProcessInfoString takes out of a process's
// parameters block.
enum ZELPI_TYPE {
  ZELPI_IMAGEFILE = 0,
  ZELPI_COMMANDLINE = 1,
  ZELPI_CURRENTDIRECTORY = 2,
  ZELPI_WINDOWTITLE = 3,
  ZELPI_DESKTOPNAME = 4,
  ZELPI_PATH = 5,
};

// One process record of the snapshot, as the platform lays it out; opaque.
struct _SYSTEM_PROCESSES;

class ZELPROCESS_API CZelProcess : public CZelObject {
 public:
  // Takes the first snapshot. Throws std::system_error carrying the Windows
  // code or native status when the native entry points cannot be resolved or
  // the snapshot cannot be taken.
  CZelProcess();
  // A copy shares the source's snapshot; the last owner releases it.
  CZelProcess(const CZelProcess& other);
  CZelProcess& operator=(const CZelProcess& other);
  virtual ~CZelProcess();
  virtual int Dump();

  int Refresh();
  unsigned int GetProcessCount();

  // Process walk. A handle from FindFirstProcess (all processes for "", else
  // those whose image name matches the wildcard pattern, as
  // CZelPathString::MatchSpec matches) or CreateHandleFromPID is released with
  // CloseHandle, which also releases thread handles.
  void* FindFirstProcess(CZelString strPattern);
  int FindNextProcess(void* hFind);
  int CloseHandle(void* hFind);
  void* DuplicateHandle(void* hFind);
  int IsProcessHandle(void* hFind);
  void* CreateHandleFromPID(unsigned int dwProcessId);

  // Facts of the process under a process handle, as the snapshot holds them.
  CZelString GetName(void* hProcess);
  unsigned int GetProcessID(void* hProcess);
  unsigned int GetParentProcess(void* hProcess);
  long GetBasePriority(void* hProcess);
  unsigned int GetThreadCount(void* hProcess);
  int GetCreateTime(void* hProcess, _FILETIME& ftCreate);
  int GetUserTime(void* hProcess, _FILETIME& ftUser);
  int GetKernelTime(void* hProcess, _FILETIME& ftKernel);
  int GetMemoryCounters(void* hProcess, _VM_COUNTERS& vmCounters);
  int GetIOCounters(void* hProcess, _IO_COUNTERS& ioCounters);

  // Thread walk over the threads of the process under a process handle.
  void* FindFirstThread(void* hProcess);
  int FindNextThread(void* hThread);
  unsigned int GetThreadID(void* hThread);
  unsigned int GetThreadParentProcess(void* hThread);
  int GetThreadCreateTime(void* hThread, _FILETIME& ftCreate);
  void* CreateHandleFromTID(void* hProcess, unsigned int dwThreadId);

  // Strings read out of the live process's parameters block; empty on failure.
  CZelString GetImageFile(void* hProcess);
  CZelString GetCommandLineW(void* hProcess);
  CZelString GetCurrentDirectoryW(void* hProcess);
  CZelString GetWindowTitle(void* hProcess);
  CZelString GetDesktopName(void* hProcess);
  CZelString GetPath(void* hProcess);

  // A copy of the first 4096 bytes of the live process's environment block,
  // the host's until it gives it back with FreeEnvironmentBuffer.
  unsigned char* GetEnvironmentBuffer(void* hProcess);
  int FreeEnvironmentBuffer(unsigned char*& pBuffer);

  // The account that owns the process, and its domain; both empty on failure.
  int GetUserAndDomain(void* hProcess, CZelString& strUser, CZelString& strDomain);
  // The first top-level window of the process in the platform's order, hidden
  // ones included, or null.
  HWND GetMainWindow(void* hProcess);

 protected:
  int InitFunctionsPointers();
  int ReadProcesses();
  _SYSTEM_PROCESSES* GetProcess(unsigned int dwProcessId);
  // Copies the thread's environment block (5778 bytes) into the caller's buffer.
  int GetTEB(void* hThread, _TEB* pTeb);

  // A platform handle on the process, opened for query and read, or null.
  void* GetReadHandle(void* hProcess);
  // The process's basic information (the platform's 48-byte record).
  int GetProcessInformation(void* hProcess, _PROCESS_BASIC_INFORMATION* pInfo);
  // The first 684 bytes of the process's environment block (PEB).
  int GetPEB(void* hProcess, _PEB* pPeb);
  CZelString ReadProcessInfoString(void* hProcess, ZELPI_TYPE eType);

  ZEL_PFN_NTQUERYSYSTEMINFORMATION m_pfnNtQuerySystemInformation;
  ZEL_PFN_NTQUERYINFORMATIONPROCESS m_pfnNtQueryInformationProcess;
  ZEL_PFN_NTQUERYINFORMATIONTHREAD m_pfnNtQueryInformationThread;
  _SYSTEM_PROCESSES* m_pProcesses;
  ZelUlong m_cbProcesses;

 private:
  // Takes a new snapshot; on failure returns 0 with the code or status why.
  int TakeSnapshot(ZelCode* failure);
};
