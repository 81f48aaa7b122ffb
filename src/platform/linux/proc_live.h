// What the Linux source reads of a live process, each fact from the file
// that holds it, read once per call. Every read is followed by a look at the
// process's stat, which tells whether the process read is still the
// snapshot's: one that started since has taken a gone process's ID. Start
// times count clock ticks, so a process that took the ID within the tick in
// which the snapshot's started could not be told from it; the kernel hands
// an ID out again only after it has used the others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../snapshot_records.h"
#include "../source.h"
#include "ZelError.h"
#include "failure_codes.h"
#include "proc_maps.h"
#include "proc_parsers.h"
#include "proc_reader.h"
#include "windows_terms.h"

namespace zel::procfs {

// What a look at a process's stat found. A process has ended only when none
// of its threads runs: its main thread may have exited before the others,
// and then the process's own entry answers nothing of its memory, while a
// running thread's entry (task/<thread>/) answers for the whole process.
struct Look {
  Presence presence = Presence::Gone;
  int error = 0;              // the errno, when Unreadable
  std::uint32_t thread = 0;   // the running thread whose entry answers, or 0
  bool kernelThread = false;  // Memoryless as a kernel thread, which never had memory
};
// With `whole`, the fields of the process's own stat go there too; only the
// basic information needs them, and only it has them parsed.
Look LookAt(const ProcReader& reader, const ProcClock& clock, const source::Process& process,
            StatFields* whole = nullptr);

// The target of a process's exe or cwd link. The kernel marks a path whose
// file has been removed with " (deleted)"; the mark is taken off only when no
// file of the marked name exists, so that a name that really ends so stays.
ProcText LinkedPath(const ProcReader& reader, const std::string& path);

// The outcome of a read: the value, and the code that the Windows build
// records for the same case (0 with the value). Text stays UTF-8 until the
// source hands it to the core.
struct LiveText {
  std::string text;
  ZelCode code = 0;
};
struct LiveOwner {
  std::uint32_t uid = 0;
  ZelCode code = 0;
};
struct LiveBasics {
  layout::ProcessBasicInformation info{};
  ZelCode code = 0;
};

// The image file (the exe link), the command line (cmdline, quoted as
// Windows quotes it), the current directory (the cwd link); the window
// title, desktop and path are empty, since Linux has none.
LiveText ReadLiveText(const ProcReader& reader, const ProcClock& clock,
                      const source::Process& process, unsigned type);
// The environment block: each "NAME=value" and a final NUL.
LiveText ReadLiveEnvironment(const ProcReader& reader, const ProcClock& clock,
                             const source::Process& process);
// The real user ID that status names.
LiveOwner ReadLiveOwner(const ProcReader& reader, const ProcClock& clock,
                        const source::Process& process);
// What Linux has of the basic information: the IDs, the base priority, the
// affinity and, for a process still running, STILL_ACTIVE as exit status.
LiveBasics ReadLiveBasics(const ProcReader& reader, const ProcClock& clock,
                          const source::Process& process);

// The modules of a process: the executable files and "[vdso]" of its maps,
// the executable (the exe link's file) first and the others by address.
// Paths stay UTF-8 and lose the kernel's " (deleted)" mark as the image
// file's does.
struct LiveModules {
  std::vector<MappedFile> modules;
  bool cut = false;  // more than a module list keeps: the rest left out
  ZelCode code = 0;
};
LiveModules ReadLiveModules(const ProcReader& reader, const ProcClock& clock,
                            const source::Process& process);

}  // namespace zel::procfs
