// Owners of what the process object lends a host program: its find handles
// and its environment copies. A host that returns early, throws, or stops a
// benchmark or test halfway still gives each one back, so that handle counts
// and leak checks see only what the library itself keeps.
#pragma once

#include <utility>

#include "ZelProcess.h"

namespace zel::host {

// A handle from FindFirstProcess, CreateHandleFromPID, FindFirstThread or
// CreateHandleFromTID. The owner is held by pointer so that a handle can be
// moved, into a std::optional or out of a function.
class FindHandle {
 public:
  FindHandle(CZelProcess& owner, void* handle) : owner_(&owner), handle_(handle) {}
  FindHandle(FindHandle&& other) noexcept
      : owner_(other.owner_), handle_(std::exchange(other.handle_, nullptr)) {}
  FindHandle& operator=(FindHandle&& other) noexcept {
    if (this != &other) {
      Release();
      owner_ = other.owner_;
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() { Release(); }

  void* Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // For a host that checks what the library answers to closing: the answer
  // is passed on as it is, even for a handle that was null from the start,
  // and the destructor does not close it a second time.
  int Close() { return owner_->CloseHandle(std::exchange(handle_, nullptr)); }

 private:
  void Release() {
    if (handle_ != nullptr) owner_->CloseHandle(std::exchange(handle_, nullptr));
  }

  CZelProcess* owner_;
  void* handle_;
};

// A block from GetEnvironmentBuffer; null when the copy failed.
class EnvironmentCopy {
 public:
  EnvironmentCopy(CZelProcess& owner, unsigned char* block) : owner_(&owner), block_(block) {}
  EnvironmentCopy(const EnvironmentCopy&) = delete;
  EnvironmentCopy& operator=(const EnvironmentCopy&) = delete;
  ~EnvironmentCopy() {
    if (block_ != nullptr) owner_->FreeEnvironmentBuffer(block_);
  }

  const unsigned char* Get() const { return block_; }

 private:
  CZelProcess* owner_;
  unsigned char* block_;
};

}  // namespace zel::host
