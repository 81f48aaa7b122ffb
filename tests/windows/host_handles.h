// Owners of the handles the tests hold on the host: Win32 handles, and the
// library's own handles of its process object, each closed on every path out
// of a test.
#pragma once

#include <windows.h>

#include <utility>

#include "ZelProcess.h"
#include "host/zel_handles.h"

namespace zel::test {

// Owns a Win32 handle; null and INVALID_HANDLE_VALUE both mean none.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }

  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (*this) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Tests that check what closing returns close it themselves with Close(); the
// destructor releases it otherwise.
using ZelHandle = zel::host::FindHandle;

}  // namespace zel::test
