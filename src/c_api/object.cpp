// The object of the C interface, its code, and the codes' texts.
#include <string>

#include "ZelErrorMessage.h"
#include "wrap.h"

using zel::c_api::Invoke;

extern "C" {

uint32_t zel_process_create(zel_process** process) {
  if (process == nullptr) return zel::code::kInvalidParameter;
  *process = nullptr;
  try {
    // The host owns the object until it gives it to zel_process_destroy.
    *process = new zel_process();
    return zel::code::kSuccess;
  } catch (...) {
    return zel::c_api::CurrentExceptionCode();
  }
}

void zel_process_destroy(zel_process* process) { delete process; }

uint32_t zel_last_error(const zel_process* process) {
  return process == nullptr ? zel::code::kInvalidParameter : process->GetErrorCode();
}

int zel_refresh(zel_process* process) {
  return Invoke(process, 0, [](zel_process& o) { return o.Refresh(); });
}

uint32_t zel_get_process_count(zel_process* process) {
  return Invoke(process, 0u, [](zel_process& o) { return o.GetProcessCount(); });
}

size_t zel_error_message(uint32_t code, char* buf, size_t size) {
  if (!zel::c_api::PrepareBuffer(nullptr, buf, size)) return 0;
  try {
    return zel::c_api::CopyOut(zel::ErrorMessage(code), buf, size);
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
