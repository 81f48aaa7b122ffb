// Opening the live process or thread that a snapshot record stands for. An
// ID that names a process (or thread) started at another time than the
// snapshot's names one that has taken the ID of one that ended.
#pragma once

#include "../source.h"
#include "windows_api.h"

namespace zel::windows {

// A handle on the snapshot's process, or null with the last error of the
// failed open; one whose creation time differs is closed again, with
// ERROR_INVALID_PARAMETER as for an ID that names no process.
os::HANDLE OpenSnapshotProcess(os::DWORD access, const source::Process& process);
// The same for a thread.
os::HANDLE OpenSnapshotThread(os::DWORD access, const source::Thread& thread);

}  // namespace zel::windows
