// The codes that the Linux source records when it cannot read a process: the
// whole rule in one place. Each code is the one that the Windows build's
// failing call leaves for the same cause, so that a host sees the same code
// on both targets; the reads themselves only say what they saw.
#pragma once

#include <cerrno>

#include "ZelError.h"

namespace zel::procfs {

// Only these errors of a process's file mean that the process has gone;
// every other is a failure of its own.
inline bool MeansGone(int error) { return error == ENOENT || error == ESRCH; }
// The caller may not read the file: another user's process, as a rule.
inline bool MeansRefused(int error) { return error == EACCES || error == EPERM; }

// The code of an errno: ENOENT and ESRCH (gone) are an ID that names no
// process, ERROR_INVALID_PARAMETER; EACCES and EPERM ERROR_ACCESS_DENIED;
// ENOMEM ERROR_OUTOFMEMORY; EMFILE and ENFILE (no descriptor left)
// ERROR_TOO_MANY_OPEN_FILES; any other error of a read ERROR_READ_FAULT.
ZelCode CodeOfErrno(int error);

// What the look at a process's stat, after the read of a fact, found.
enum class Presence {
  Running,     // the snapshot's process, with memory of its own
  Memoryless,  // the snapshot's process, but a kernel thread or a zombie
  Gone,        // ended, or its ID now names another process
  Unreadable,  // its stat could not be read for another cause
};

// The facts that a live read gives.
enum class LiveFact { String, Environment, Owner, BasicInformation, Modules };

// What a live read saw: the process, the errno of its stat when that could
// not be read, the errno of the fact's own file (0 when read), and whether
// the file said what was asked (an owner's status names a user).
struct Seen {
  Presence presence = Presence::Gone;
  int statError = 0;
  int readError = 0;
  bool answered = true;
  bool kernelThread = false;  // Memoryless, as a kernel thread that never had memory
};

// The code that the read records: 0 with the fact.
//
// A stat that cannot be read gives its errno's code. A process that has gone
// cannot be opened on Windows: its strings and owner are ERROR_ACCESS_DENIED,
// and its environment passes on why (ERROR_INVALID_PARAMETER, no process with
// that ID). One without memory (a zombie, a kernel thread) has no strings or
// environment (ERROR_ACCESS_DENIED), but its owner and exit status are known.
// A file of a process that is there, but that the caller may not read or that
// has just gone, is refused (ERROR_ACCESS_DENIED) for the strings and the
// owner; the environment gives its errno's code, as every other error does.
// An owner's status without a user is ERROR_NO_TOKEN.
//
// The modules (maps) are read out of the process's memory map, which the
// kernel guards as it guards the environment: they fail as the strings do,
// ERROR_ACCESS_DENIED for a process that has gone, has ended (a zombie), or
// whose maps the caller may not read (another user's, as an unprivileged
// caller), and the errno's code for any other error, as the Windows build
// fails an open or a read of the process. A kernel thread has none, which is
// an answer: 0, as for any process whose maps list no module.
ZelCode CodeOf(LiveFact fact, const Seen& seen);

}  // namespace zel::procfs
