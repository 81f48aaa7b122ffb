// The live reads out of a running process, through the C interface.
#include <string>

#include "platform/snapshot_records.h"
#include "wrap.h"

using zel::c_api::Invoke;
using zel::c_api::TextOf;

extern "C" {

size_t zel_get_image_file(zel_process* process, void* find, char* buf, size_t size) {
  return TextOf(process, find, buf, size, &CZelProcess::GetImageFile);
}

size_t zel_get_command_line(zel_process* process, void* find, char* buf, size_t size) {
  return TextOf(process, find, buf, size, &CZelProcess::GetCommandLineW);
}

size_t zel_get_current_directory(zel_process* process, void* find, char* buf, size_t size) {
  return TextOf(process, find, buf, size, &CZelProcess::GetCurrentDirectoryW);
}

size_t zel_get_window_title(zel_process* process, void* find, char* buf, size_t size) {
  return TextOf(process, find, buf, size, &CZelProcess::GetWindowTitle);
}

size_t zel_get_desktop_name(zel_process* process, void* find, char* buf, size_t size) {
  return TextOf(process, find, buf, size, &CZelProcess::GetDesktopName);
}

size_t zel_get_path(zel_process* process, void* find, char* buf, size_t size) {
  return TextOf(process, find, buf, size, &CZelProcess::GetPath);
}

unsigned char* zel_get_environment_buffer(zel_process* process, void* find, size_t* length) {
  if (length != nullptr) *length = 0;
  return Invoke(process, static_cast<unsigned char*>(nullptr), [&](zel_process& o) {
    unsigned char* block = o.GetEnvironmentBuffer(find);
    if (block != nullptr && length != nullptr) *length = zel::layout::kEnvironmentReadSize;
    return block;
  });
}

unsigned char* zel_get_environment_block(zel_process* process, void* find, size_t* length) {
  if (length != nullptr) *length = 0;
  return Invoke(process, static_cast<unsigned char*>(nullptr), [&](zel_process& o) {
    std::size_t size = 0;
    unsigned char* block = o.GetEnvironmentBlock(find, size);
    if (block != nullptr && length != nullptr) *length = size;
    return block;
  });
}

int zel_free_environment_buffer(zel_process* process, unsigned char* block) {
  return Invoke(process, 0, [&](zel_process& o) { return o.FreeEnvironmentBuffer(block); });
}

int zel_get_user_and_domain(zel_process* process, void* find, char* user, size_t user_size,
                            size_t* user_length, char* domain, size_t domain_size,
                            size_t* domain_length) {
  if (user_length != nullptr) *user_length = 0;
  if (domain_length != nullptr) *domain_length = 0;
  if (!zel::c_api::PrepareBuffer(process, user, user_size) ||
      !zel::c_api::PrepareBuffer(process, domain, domain_size)) {
    return 0;
  }
  return Invoke(process, 0, [&](zel_process& o) {
    CZelString user_name, domain_name;
    if (!o.GetUserAndDomain(find, user_name, domain_name)) return 0;
    // Both converted before either is written, so that a failure leaves both empty.
    const std::string user_text = user_name.ToUtf8();
    const std::string domain_text = domain_name.ToUtf8();
    const size_t user_needed = zel::c_api::CopyOut(user_text, user, user_size);
    const size_t domain_needed = zel::c_api::CopyOut(domain_text, domain, domain_size);
    if (user_length != nullptr) *user_length = user_needed;
    if (domain_length != nullptr) *domain_length = domain_needed;
    return 1;
  });
}

void* zel_get_main_window(zel_process* process, void* find) {
  return Invoke(process, static_cast<void*>(nullptr),
                [&](zel_process& o) { return static_cast<void*>(o.GetMainWindow(find)); });
}

}  // extern "C"
