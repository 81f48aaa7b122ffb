// The process object with the members it offers derived classes in reach of
// the tests.
#pragma once

#include <cstdint>

#include "ZelProcess.h"
#include "platform/snapshot_records.h"

namespace zel::test {

class ProtectedProcess : public CZelProcess {
 public:
  using CZelProcess::GetPEB;
  using CZelProcess::GetProcess;
  using CZelProcess::GetProcessInformation;
  using CZelProcess::GetReadHandle;
  using CZelProcess::GetTEB;
  using CZelProcess::InitFunctionsPointers;
  using CZelProcess::ReadProcesses;
  using CZelProcess::ReadProcessInfoString;

  ZelUlong SnapshotSize() const { return m_cbProcesses; }
  ZEL_PFN_NTQUERYSYSTEMINFORMATION QuerySystem() const { return m_pfnNtQuerySystemInformation; }
  bool HoldsSnapshot() const { return m_pProcesses != nullptr; }
  // Leaves a code that no operation records, to show what one leaves alone.
  void Mark(ZelCode code) { m_Error.SetError(code); }
  static std::uint32_t IdOf(const _SYSTEM_PROCESSES* record) {
    return layout::Load<std::uint32_t>(record, ZEL_OFFSET(SystemProcess, UniqueProcessId));
  }
};

}  // namespace zel::test
