/// @file
/// Owners of what a CZelProcess lends its host: find handles and
/// environment copies, each given back by its owner's destructor.
///
/// A host that returns early or throws still gives each one back, so that
/// what the library keeps is only what the host still holds.
#pragma once

#include <cstddef>
#include <utility>

#include "ZelProcess.h"

namespace zel {

/// Owns a handle from CZelProcess::FindFirstProcess,
/// CZelProcess::CreateHandleFromPID, CZelProcess::DuplicateHandle,
/// CZelProcess::FindFirstThread, CZelProcess::CreateHandleFromTID or
/// CZelProcess::FindFirstModule, and
/// closes it with CZelProcess::CloseHandle of the object that made it.
///
/// The object is held by pointer, so that an owner can be moved (into a
/// std::optional, or out of a function); it must outlive the owner. The
/// close records its code in the object, as any CloseHandle does.
class FindHandle {
 public:
  /// Takes over `handle`, which may be null (then there is nothing to close).
  FindHandle(CZelProcess& owner, void* handle) : owner_(&owner), handle_(handle) {}
  /// Takes over the other's handle; the other is left holding none.
  FindHandle(FindHandle&& other) noexcept
      : owner_(other.owner_), handle_(std::exchange(other.handle_, nullptr)) {}
  /// Closes the handle held, then takes over the other's.
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
  /// Closes the handle held, if any.
  ~FindHandle() { Release(); }

  /// The handle, for the object's operations; null when none is held. It
  /// stays owned: the host must not close it itself.
  void* Get() const { return handle_; }
  /// Whether a handle is held.
  explicit operator bool() const { return handle_ != nullptr; }
  /// Closes the handle now and gives CloseHandle's result, even for a null
  /// handle (0, with ERROR_INVALID_PARAMETER recorded), for a host that
  /// checks it; the owner then holds none.
  int Close() { return owner_->CloseHandle(std::exchange(handle_, nullptr)); }

 private:
  void Release() {
    if (handle_ != nullptr) owner_->CloseHandle(std::exchange(handle_, nullptr));
  }

  CZelProcess* owner_;
  void* handle_;
};

/// Owns a block from CZelProcess::GetEnvironmentBuffer or
/// CZelProcess::GetEnvironmentBlock and gives it back with
/// CZelProcess::FreeEnvironmentBuffer of the object that made it, which must
/// outlive the owner.
///
/// A whole block's size is known once GetEnvironmentBlock has returned, so
/// it is taken in a statement of its own:
/// @code
///   std::size_t size = 0;
///   unsigned char* block = processes.GetEnvironmentBlock(process, size);
///   const zel::EnvironmentCopy copy(processes, block, size);
/// @endcode
class EnvironmentCopy {
 public:
  /// Takes over `block` from GetEnvironmentBuffer, which may be null (the
  /// copy failed); its size is that copy's 4096 bytes.
  EnvironmentCopy(CZelProcess& owner, unsigned char* block)
      : EnvironmentCopy(owner, block, kEnvironmentBufferSize) {}
  /// Takes over `block` of `cbSize` bytes, as GetEnvironmentBlock gives it;
  /// null when the copy failed.
  EnvironmentCopy(CZelProcess& owner, unsigned char* block, std::size_t cbSize)
      : owner_(&owner), block_(block), size_(block != nullptr ? cbSize : 0) {}
  EnvironmentCopy(const EnvironmentCopy&) = delete;
  EnvironmentCopy& operator=(const EnvironmentCopy&) = delete;
  /// Gives the block back, if any.
  ~EnvironmentCopy() {
    if (block_ != nullptr) owner_->FreeEnvironmentBuffer(block_);
  }

  /// The block's bytes, or null when the copy failed.
  const unsigned char* Get() const { return block_; }
  /// The block's size in bytes; 0 when the copy failed.
  std::size_t Size() const { return size_; }

 private:
  CZelProcess* owner_;
  unsigned char* block_;
  std::size_t size_;
};

}  // namespace zel
