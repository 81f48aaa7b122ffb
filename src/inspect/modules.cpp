// The module walk: a live process's modules, read whole by FindFirstModule
// into the module handle's own list, which the other members only read.
#include <algorithm>
#include <memory>
#include <new>

#include "../platform/codes.h"
#include "../platform/module_list.h"
#include "../platform/source.h"
#include "../snapshot/find_record.h"
#include "ZelProcess.h"
#include "live_target.h"

namespace {

using zel::layout::ZELFIND_MODULE;
using zel::layout::ZELFIND_RECORD;
using zel::source::Module;
using zel::source::ModuleList;

const unsigned short kNoPattern[] = {0};

CZelString AsString(const std::u16string& text) {
  return CZelString(reinterpret_cast<const unsigned short*>(text.data()), text.size());
}

// Keeps the modules whose file name matches `pattern`. Throws std::bad_alloc.
void KeepMatches(ModuleList& list, const CZelString& pattern) {
  std::erase_if(list.Modules(), [&](const Module& module) {
    return CZelPathString(AsString(module.name)).MatchSpec(pattern) == 0;
  });
}

// The module under a valid module handle; otherwise records 87 and gives null.
const Module* ModuleOr(CZelError& error, void* handle, const zel::records::Snapshot& snapshot) {
  const ZELFIND_RECORD* record =
      zel::records::CheckedHandle(error, handle, ZELFIND_MODULE, snapshot);
  return record ? &record->pModules->Modules()[record->nThreadIndex] : nullptr;
}

CZelString TextOf(CZelError& error, const Module* module, std::u16string Module::*text) {
  if (!module) return CZelString();
  try {
    CZelString result = AsString(module->*text);
    error.SetError(zel::code::kSuccess);
    return result;
  } catch (const std::bad_alloc&) {
    error.SetError(zel::code::kOutOfMemory);
    return CZelString();
  }
}

std::uint64_t NumberOf(CZelError& error, const Module* module, std::uint64_t Module::*number) {
  if (!module) return 0;
  error.SetError(zel::code::kSuccess);
  return module->*number;
}

}  // namespace

void* CZelProcess::FindFirstModule(void* hProcess, CZelString strPattern) {
  const zel::records::Snapshot snapshot = zel::records::SnapshotOf(m_pProcesses, m_cbProcesses);
  const ZELFIND_RECORD* process =
      zel::records::CheckedHandle(m_Error, hProcess, zel::layout::ZELFIND_PROCESS, snapshot);
  if (!process) return nullptr;
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::records::MakeHandle(m_Error, [&](ZELFIND_RECORD*& handle) {
    auto list = std::make_unique<ModuleList>();
    if (!zel::source::ReadModules(caller, zel::inspect::ProcessOf(process->pProcess), *list))
      return false;
    if (strPattern != kNoPattern) KeepMatches(*list, strPattern);
    if (list->Modules().empty()) {
      m_Error.SetError(zel::code::kNotFound);
      return false;
    }
    handle = zel::records::NewRecord(zel::records::WalkRecord(*process, ZELFIND_MODULE));
    handle->pModules = list.release();
    return true;
  });
}

int CZelProcess::FindNextModule(void* hModule) {
  const zel::records::Snapshot snapshot = zel::records::SnapshotOf(m_pProcesses, m_cbProcesses);
  ZELFIND_RECORD* handle = zel::records::CheckedHandle(m_Error, hModule, ZELFIND_MODULE, snapshot);
  if (!handle) return 0;
  const ModuleList& list = *handle->pModules;
  if (handle->nThreadIndex + std::size_t{1} >= list.Modules().size()) {
    m_Error.SetError(list.Cut() ? zel::code::kMoreData : zel::code::kNoMoreItems);
    return 0;
  }
  ++handle->nThreadIndex;
  m_Error.SetError(zel::code::kSuccess);
  return 1;
}

CZelString CZelProcess::GetModuleName(void* hModule) {
  return TextOf(m_Error,
                ModuleOr(m_Error, hModule, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)),
                &Module::name);
}

CZelString CZelProcess::GetModulePath(void* hModule) {
  return TextOf(m_Error,
                ModuleOr(m_Error, hModule, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)),
                &Module::path);
}

std::uint64_t CZelProcess::GetModuleBase(void* hModule) {
  return NumberOf(m_Error,
                  ModuleOr(m_Error, hModule, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)),
                  &Module::base);
}

std::uint64_t CZelProcess::GetModuleSize(void* hModule) {
  return NumberOf(m_Error,
                  ModuleOr(m_Error, hModule, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)),
                  &Module::size);
}
