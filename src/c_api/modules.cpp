// The module walk of the C interface.
#include "wrap.h"

using zel::c_api::Invoke;
using zel::c_api::TextOf;

extern "C" {

void* zel_find_first_module(zel_process* process, void* find, const char* pattern) {
  return Invoke(process, static_cast<void*>(nullptr), [&](zel_process& o) {
    return o.FindFirstModule(find, CZelString::FromUtf8(pattern == nullptr ? "" : pattern));
  });
}

int zel_find_next_module(zel_process* process, void* module) {
  return Invoke(process, 0, [&](zel_process& o) { return o.FindNextModule(module); });
}

size_t zel_get_module_name(zel_process* process, void* module, char* buf, size_t size) {
  return TextOf(process, module, buf, size, &CZelProcess::GetModuleName);
}

size_t zel_get_module_path(zel_process* process, void* module, char* buf, size_t size) {
  return TextOf(process, module, buf, size, &CZelProcess::GetModulePath);
}

uint64_t zel_get_module_base(zel_process* process, void* module) {
  return Invoke(process, uint64_t{0}, [&](zel_process& o) { return o.GetModuleBase(module); });
}

uint64_t zel_get_module_size(zel_process* process, void* module) {
  return Invoke(process, uint64_t{0}, [&](zel_process& o) { return o.GetModuleSize(module); });
}

}  // extern "C"
