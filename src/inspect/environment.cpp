// A copy of a live process's environment block.
#include <memory>
#include <new>

#include "../platform/codes.h"
#include "../platform/unique_handle.h"
#include "../snapshot/records.h"
#include "ZelProcess.h"
#include "remote_blocks.h"

namespace {

struct DeleteEnvironment {
  void operator()(unsigned char* buffer) const { delete[] buffer; }
};
using EnvironmentBuffer = std::unique_ptr<unsigned char[], DeleteEnvironment>;

}  // namespace

unsigned char* CZelProcess::GetEnvironmentBuffer(void* hProcess) {
  const auto* handle = zel::records::AsHandle(hProcess, zel::layout::ZELFIND_PROCESS);
  if (!handle) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  zel::os::UniqueHandle process(zel::os::OpenProcess(
      zel::inspect::kReadAccess, 0, zel::records::ProcessId(handle->pProcess)));
  if (!process) {
    m_Error.SetError(zel::os::GetLastError());
    return nullptr;
  }
  zel::inspect::PebImage peb;
  if (!GetPEB(hProcess, reinterpret_cast<_PEB*>(peb.data()))) {
    const ZelCode error = zel::os::GetLastError();
    process.Reset();
    m_Error.SetError(error);
    return nullptr;
  }
  zel::inspect::ParametersImage parameters;
  if (!zel::inspect::ReadRemote(process.Get(), zel::inspect::ParametersAddress(peb),
                                parameters.data(), parameters.size())) {
    const ZelCode error = zel::os::GetLastError();
    process.Reset();
    m_Error.SetError(error);
    return nullptr;
  }
  EnvironmentBuffer buffer;
  try {
    // The buffer's ownership passes to the host, who gives it back through
    // FreeEnvironmentBuffer.
    buffer.reset(new unsigned char[zel::layout::kEnvironmentReadSize]);
  } catch (const std::bad_alloc&) {
    process.Reset();
    m_Error.SetError(zel::code::kOutOfMemory);
    return nullptr;
  }
  const auto environment =
      zel::layout::Load<std::uint64_t>(parameters.data(), ZEL_OFFSET(ProcessParameters, Environment));
  if (!zel::inspect::ReadRemote(process.Get(), environment, buffer.get(),
                                zel::layout::kEnvironmentReadSize)) {
    const ZelCode error = zel::os::GetLastError();
    buffer.reset();
    process.Reset();
    m_Error.SetError(error);
    return nullptr;
  }
  return buffer.release();
}

int CZelProcess::FreeEnvironmentBuffer(unsigned char*& pBuffer) {
  if (zel::os::IsBadWritePtr(pBuffer, zel::layout::kEnvironmentReadSize)) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return 0;
  }
  EnvironmentBuffer{pBuffer};
  pBuffer = nullptr;
  return 1;
}
