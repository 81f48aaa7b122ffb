// The process object: its native entry points and the snapshot it owns.
#include <algorithm>
#include <new>
#include <system_error>

#include "../platform/account_names.h"
#include "../platform/codes.h"
#include "../platform/source.h"
#include "ZelErrorMessage.h"
#include "ZelProcess.h"
#include "records.h"
#include "snapshot_buffer.h"

namespace {

// A process or thread that starts between two calls grows the snapshot, so a
// fill that finds its buffer too small tries again with the size it was told
// plus room for more, a few times.
constexpr int kFillAttempts = 4;
constexpr ZelUlong kFillHeadroomDivisor = 8;
constexpr ZelUlong kFillHeadroomMinimum = 4096;

[[noreturn]] void ThrowConstructionFailure(ZelCode code, const char* what) {
  throw std::system_error(static_cast<int>(code), zel::error_category(), what);
}

}  // namespace

CZelProcess::CZelProcess()
    : m_pfnNtQuerySystemInformation(nullptr),
      m_pfnNtQueryInformationProcess(nullptr),
      m_pfnNtQueryInformationThread(nullptr),
      m_pProcesses(nullptr),
      m_cbProcesses(0) {
  ZelCode why = 0;
  if (!zel::source::ResolveEntryPoints(
          {m_pfnNtQuerySystemInformation, m_pfnNtQueryInformationProcess,
           m_pfnNtQueryInformationThread},
          why))
    ThrowConstructionFailure(why, "CZelProcess: native entry points");
  ZelCode failure = 0;
  if (!TakeSnapshot(&failure)) ThrowConstructionFailure(failure, "CZelProcess: process snapshot");
}

CZelProcess::CZelProcess(const CZelProcess& other)
    : CZelObject(other),
      m_pfnNtQuerySystemInformation(other.m_pfnNtQuerySystemInformation),
      m_pfnNtQueryInformationProcess(other.m_pfnNtQueryInformationProcess),
      m_pfnNtQueryInformationThread(other.m_pfnNtQueryInformationThread),
      m_pProcesses(other.m_pProcesses),
      m_cbProcesses(other.m_cbProcesses) {
  if (m_pProcesses) zel::snapshot::Share(zel::records::Bytes(m_pProcesses));
}

CZelProcess& CZelProcess::operator=(const CZelProcess& other) {
  if (this == &other) return *this;
  CZelObject::operator=(other);
  m_pfnNtQuerySystemInformation = other.m_pfnNtQuerySystemInformation;
  m_pfnNtQueryInformationProcess = other.m_pfnNtQueryInformationProcess;
  m_pfnNtQueryInformationThread = other.m_pfnNtQueryInformationThread;
  if (other.m_pProcesses) zel::snapshot::Share(zel::records::Bytes(other.m_pProcesses));
  zel::snapshot::Release(zel::records::Bytes(m_pProcesses));
  m_pProcesses = other.m_pProcesses;
  m_cbProcesses = other.m_cbProcesses;
  // Names looked up for the snapshot this object held are not looked up
  // again for the one it shares now; they are not taken from the other.
  m_pAccountNames.reset();
  return *this;
}

CZelProcess::~CZelProcess() {
  zel::snapshot::Release(zel::records::Bytes(m_pProcesses));
  m_pProcesses = nullptr;
}

int CZelProcess::Dump() { return 0; }

int CZelProcess::InitFunctionsPointers() {
  ZelCode why = 0;
  return zel::source::ResolveEntryPoints(
             {m_pfnNtQuerySystemInformation, m_pfnNtQueryInformationProcess,
              m_pfnNtQueryInformationThread},
             why)
             ? 1
             : 0;
}

int CZelProcess::ReadProcesses() {
  ZelCode failure = 0;
  return TakeSnapshot(&failure);
}

int CZelProcess::Refresh() { return ReadProcesses(); }

int CZelProcess::TakeSnapshot(ZelCode* failure) {
  using zel::code::kStatusInfoLengthMismatch;
  // Every failure is recorded, and leaves the snapshot the object held (and
  // every handle into it) as it was: the old one goes only when the new one
  // is complete.
  const auto fail = [&](ZelCode code) {
    m_Error.SetError(code);
    *failure = code;
    return 0;
  };
  // One byte, but aligned as the kernel requires of every buffer it is given.
  alignas(ZelUlong) std::byte probe_scratch[1];
  ZelUlong needed = 0;
  const auto probe = static_cast<ZelCode>(m_pfnNtQuerySystemInformation(
      zel::source::kSystemProcessInformation, probe_scratch, sizeof probe_scratch, &needed));
  if (probe != kStatusInfoLengthMismatch)
    // A probe that fits the one byte found no process to list.
    return fail(probe == zel::code::kStatusSuccess ? zel::code::kNotFound : probe);

  ZelUlong size = needed;
  for (int attempt = 0; attempt < kFillAttempts; ++attempt) {
    std::byte* buffer = nullptr;
    try {
      buffer = zel::snapshot::Allocate(size);
    } catch (const std::bad_alloc&) {
      return fail(zel::code::kOutOfMemory);
    }
    const auto fill = static_cast<ZelCode>(m_pfnNtQuerySystemInformation(
        zel::source::kSystemProcessInformation, buffer, size, &needed));
    if (fill == zel::code::kStatusSuccess && needed != 0) {
      zel::snapshot::Release(zel::records::Bytes(m_pProcesses));
      m_pProcesses = reinterpret_cast<_SYSTEM_PROCESSES*>(buffer);
      m_cbProcesses = size;
      // Names are as of the first lookup after the snapshot.
      if (m_pAccountNames) m_pAccountNames->Clear();
      return 1;
    }
    // A buffer the platform did not fill is never kept: walks trust the chain.
    zel::snapshot::Release(buffer);
    // The processes counted by the probe have all gone since.
    if (fill == zel::code::kStatusSuccess) return fail(zel::code::kNotFound);
    if (fill != kStatusInfoLengthMismatch) return fail(fill);
    const ZelUlong grown = std::max(needed, size);
    size = grown + std::max(grown / kFillHeadroomDivisor, kFillHeadroomMinimum);
  }
  // The processes kept starting faster than the buffer grew.
  return fail(zel::code::kNotFound);
}

unsigned int CZelProcess::GetProcessCount() {
  unsigned int count = 0;
  for (const std::byte* p = zel::records::Bytes(m_pProcesses); p; p = zel::records::Next(p))
    ++count;
  return count;
}

_SYSTEM_PROCESSES* CZelProcess::GetProcess(unsigned int dwProcessId) {
  for (std::byte* p = zel::records::Bytes(m_pProcesses); p; p = zel::records::Next(p)) {
    if (zel::records::ProcessId(p) == dwProcessId) return reinterpret_cast<_SYSTEM_PROCESSES*>(p);
  }
  return nullptr;
}
