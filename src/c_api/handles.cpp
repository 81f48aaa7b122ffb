// The handles of the C interface: the walks of processes and threads, and
// the handles' own operations.
#include "wrap.h"

using zel::c_api::Invoke;

extern "C" {

void* zel_find_first_process(zel_process* process, const char* pattern) {
  return Invoke(process, static_cast<void*>(nullptr), [&](zel_process& o) {
    return o.FindFirstProcess(CZelString::FromUtf8(pattern == nullptr ? "" : pattern));
  });
}

int zel_find_next_process(zel_process* process, void* find) {
  return Invoke(process, 0, [&](zel_process& o) { return o.FindNextProcess(find); });
}

void* zel_find_first_thread(zel_process* process, void* find) {
  return Invoke(process, static_cast<void*>(nullptr),
                [&](zel_process& o) { return o.FindFirstThread(find); });
}

int zel_find_next_thread(zel_process* process, void* thread) {
  return Invoke(process, 0, [&](zel_process& o) { return o.FindNextThread(thread); });
}

void* zel_create_handle_from_pid(zel_process* process, uint32_t process_id) {
  return Invoke(process, static_cast<void*>(nullptr),
                [&](zel_process& o) { return o.CreateHandleFromPID(process_id); });
}

void* zel_create_handle_from_tid(zel_process* process, void* find, uint32_t thread_id) {
  return Invoke(process, static_cast<void*>(nullptr),
                [&](zel_process& o) { return o.CreateHandleFromTID(find, thread_id); });
}

void* zel_duplicate_handle(zel_process* process, void* find) {
  return Invoke(process, static_cast<void*>(nullptr),
                [&](zel_process& o) { return o.DuplicateHandle(find); });
}

int zel_is_process_handle(zel_process* process, void* find) {
  return Invoke(process, 0, [&](zel_process& o) { return o.IsProcessHandle(find); });
}

int zel_close_handle(zel_process* process, void* find) {
  return Invoke(process, 0, [&](zel_process& o) { return o.CloseHandle(find); });
}

}  // extern "C"
