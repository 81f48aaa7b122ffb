// Owners of the handles the tests hold on the host: Win32 handles, and the
// library's own handles of its process object, each closed on every path out
// of a test.
#pragma once

#include <windows.h>

#include <utility>

#include "ZelProcess.h"

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

// A handle of the process object (a process or a thread found in its
// snapshot). Tests that check what closing returns close it themselves; the
// destructor releases it otherwise.
class ZelHandle {
 public:
  ZelHandle(CZelProcess& owner, void* handle) : owner_(&owner), handle_(handle) {}
  ZelHandle(const ZelHandle&) = delete;
  ZelHandle& operator=(const ZelHandle&) = delete;
  ~ZelHandle() {
    if (handle_ != nullptr) owner_->CloseHandle(handle_);
  }

  void* Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // The library's answer to closing it; it is not closed again afterwards.
  int Close() { return owner_->CloseHandle(std::exchange(handle_, nullptr)); }

 private:
  CZelProcess* owner_;
  void* handle_;
};

}  // namespace zel::test
