// Recording the fallible platform calls and failing them on request.
#include <string>
#include <utility>

#include "platform/codes.h"
#include "platform_call.h"

namespace zel::emu {
namespace {

thread_local int platform_depth = 0;

}  // namespace

bool InPlatformCall() { return platform_depth > 0; }

std::vector<CallFault> WaysToFail(std::string_view call) {
  using Kind = CallFault::Kind;
  if (call.substr(0, 2) == "Nt") return {{Kind::Status, kInjectedStatus}};
  if (call == "ReadProcessMemory")
    return {{Kind::Error, kInjectedError}, {Kind::ShortRead, code::kPartialCopy}};
  return {{Kind::Error, kInjectedError}};
}

std::optional<CallFault> System::Intercept(std::string_view call) {
  const std::lock_guard lock(faultMutex_);
  if (recording_) recorded_.push_back(call);
  const int index = callsSeen_++;
  if (!plannedFault_ || index != plannedAt_) return std::nullopt;
  injected_ = true;
  return std::exchange(plannedFault_, std::nullopt);
}

PlatformCall::PlatformCall(System& system, std::string_view name) {
  ++platform_depth;
  fault_ = system.Intercept(name);
}

PlatformCall::~PlatformCall() { --platform_depth; }

const HandleEntry* EntryForCall(const PlatformCall& call, os::HANDLE handle, HandleKind kind) {
  if (call.Fault()) {
    os::SetLastError(call.Fault()->code);
    return nullptr;
  }
  const HandleEntry* entry = FindHandle(handle, kind);
  if (!entry) os::SetLastError(code::kInvalidHandle);
  return entry;
}

}  // namespace zel::emu
