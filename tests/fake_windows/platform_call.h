// The frame of every fake platform call that can fail: the call is
// counted and named for a test that records or fails calls, with what it is
// about and the handles it opens and is given, and the thread is marked as
// inside the platform while it runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fake_system.h"
#include "handle_table.h"

namespace zel::fake {

class PlatformCall {
 public:
  PlatformCall(System& system, std::string_view name);
  ~PlatformCall();
  PlatformCall(const PlatformCall&) = delete;
  PlatformCall& operator=(const PlatformCall&) = delete;

  // The fault this call must fail with, if any.
  const std::optional<CallFault>& Fault() const { return fault_; }
  // Whether it must fail; if so, with its fault's code as the last error.
  bool FailsWithLastError() const;

  // What the call is about, for the recording.
  void About(std::string about) const;
  // Opens a handle in the table, as this call's.
  os::HANDLE Open(const HandleEntry& entry) const;
  // The entry of a handle that the call was given, or null.
  const HandleEntry* Find(os::HANDLE handle, HandleKind kind) const;

 private:
  System& system_;
  std::optional<CallFault> fault_;
  int record_ = -1;
};

// The entry of the handle of `kind` that a Win32 call was given, or null with
// the call's last error set: its injected fault's, else ERROR_INVALID_HANDLE
// for a handle that is not open.
const HandleEntry* EntryForCall(const PlatformCall& call, os::HANDLE handle, HandleKind kind);

}  // namespace zel::fake
