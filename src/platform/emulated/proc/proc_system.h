// The model of the machine's processes, read from a /proc tree: the snapshot
// facts at each snapshot query, and a process's live strings, environment and
// owner each time it is opened.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "../emulation.h"
#include "process_reading.h"
#include "proc_reader.h"

namespace zel::emu::proc {

// The kernel's clock ticks per second, the unit of the times in stat.
std::uint64_t KernelTicksPerSecond();

class ProcSystem : public System {
 public:
  explicit ProcSystem(std::string root = "/proc");
  ProcSystem(std::unique_ptr<ProcReader> reader, std::uint64_t ticksPerSecond);

  // Every numeric directory of the tree that can be read becomes a process,
  // in ID order; one that goes while it is read is left out. A process that
  // is still the same one keeps the memory laid out when it was opened.
  void Reload() override;

  // Reads the process afresh: when it has gone it leaves the model (so that
  // OpenProcess fails with ERROR_INVALID_PARAMETER); when its memory may not
  // be read, an open for reading fails with ERROR_ACCESS_DENIED; otherwise
  // its memory is laid out anew from the live executable path, arguments,
  // current directory and environment. Its owner's account is made known.
  void OnOpenProcess(std::uint32_t id) override;

  const ProcReader& Reader() const { return *reader_; }

 private:
  const ProcClock& Clock();
  void Forget(std::uint32_t id);
  // The model's entry for the record's process, added or brought up to date.
  ProcessModel* Refresh(ProcessRecord& record);
  void LayOutMemory(ProcessModel& process, ProcessParametersModel parameters);
  void MakeAccountKnown(std::uint32_t uid);

  std::unique_ptr<ProcReader> reader_;
  std::uint64_t ticksPerSecond_;
  std::optional<ProcClock> clock_;
};

}  // namespace zel::emu::proc
