// Recording the fallible platform calls and failing them on request.
#include <string>
#include <utility>

#include "platform/codes.h"
#include "platform_call.h"

namespace zel::fake {
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

std::optional<CallFault> System::Intercept(std::string_view call, int& record) {
  const std::lock_guard lock(faultMutex_);
  record = recording_ ? static_cast<int>(recorded_.size()) : -1;
  if (recording_) recorded_.push_back({call, {}, -1});
  const int index = callsSeen_++;
  if (!plannedFault_ || index != plannedAt_) return std::nullopt;
  injected_ = true;
  return std::exchange(plannedFault_, std::nullopt);
}

void System::Describe(int record, std::string about) {
  const std::lock_guard lock(faultMutex_);
  if (record >= 0 && record < static_cast<int>(recorded_.size()))
    recorded_[record].about = std::move(about);
}

void System::Opened(int record, const void* handle) {
  const std::lock_guard lock(faultMutex_);
  if (record >= 0) openedBy_[handle] = record;
}

void System::Given(int record, const void* handle) {
  const std::lock_guard lock(faultMutex_);
  const auto opener = openedBy_.find(handle);
  if (record >= 0 && record < static_cast<int>(recorded_.size()) && opener != openedBy_.end())
    recorded_[record].handleFrom = opener->second;
}

PlatformCall::PlatformCall(System& system, std::string_view name) : system_(system) {
  ++platform_depth;
  fault_ = system.Intercept(name, record_);
}

PlatformCall::~PlatformCall() { --platform_depth; }

bool PlatformCall::FailsWithLastError() const {
  if (fault_) os::SetLastError(fault_->code);
  return fault_.has_value();
}

void PlatformCall::About(std::string about) const { system_.Describe(record_, std::move(about)); }

os::HANDLE PlatformCall::Open(const HandleEntry& entry) const {
  const os::HANDLE handle = OpenHandle(entry);
  system_.Opened(record_, handle);
  return handle;
}

const HandleEntry* PlatformCall::Find(os::HANDLE handle, HandleKind kind) const {
  system_.Given(record_, handle);
  return FindHandle(handle, kind);
}

const HandleEntry* EntryForCall(const PlatformCall& call, os::HANDLE handle, HandleKind kind) {
  if (call.FailsWithLastError()) return nullptr;
  const HandleEntry* entry = call.Find(handle, kind);
  if (!entry) os::SetLastError(code::kInvalidHandle);
  return entry;
}

}  // namespace zel::fake
