// The live process or thread that a handle's snapshot record stands for.
#pragma once

#include "../platform/source.h"
#include "../snapshot/records.h"

namespace zel::inspect {

inline source::Process ProcessOf(const std::byte* process) {
  return {records::ProcessId(process),
          layout::Load<std::uint64_t>(process, ZEL_OFFSET(SystemProcess, CreateTime))};
}

inline source::Thread ThreadOf(const std::byte* process, const std::byte* thread) {
  return {records::ThreadId(thread),
          layout::Load<std::uint64_t>(thread, ZEL_OFFSET(SystemThread, CreateTime)),
          ProcessOf(process)};
}

}  // namespace zel::inspect
