// Access tokens, the account lookup and top-level windows of the fake Windows.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/codes.h"
#include "fake_system.h"
#include "handle_table.h"
#include "platform_call.h"

namespace zel::fake {
namespace {

constexpr os::DWORD kErrorNoToken = 1008;
constexpr os::DWORD kErrorNoneMapped = 1332;
constexpr os::DWORD kErrorInvalidWindowHandle = 1400;
constexpr std::size_t kSidHeader = 8;  // revision, count, six-byte authority

}  // namespace

std::vector<std::uint8_t> SidFromText(const std::string& text) {
  std::vector<std::uint64_t> parts;
  std::size_t at = text.find('-');  // after "S"
  while (at != std::string::npos) {
    const std::size_t next = text.find('-', at + 1);
    parts.push_back(std::stoull(text.substr(at + 1, next - at - 1)));
    at = next;
  }
  // parts: revision, authority, sub-authorities...
  std::vector<std::uint8_t> sid(kSidHeader + 4 * (parts.size() - 2));
  sid[0] = static_cast<std::uint8_t>(parts[0]);
  sid[1] = static_cast<std::uint8_t>(parts.size() - 2);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<std::uint8_t>(parts[1] >> (8 * (5 - i)));
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const auto sub = static_cast<std::uint32_t>(parts[i]);
    std::memcpy(sid.data() + kSidHeader + 4 * (i - 2), &sub, sizeof sub);
  }
  return sid;
}

std::string SidToText(const std::uint8_t* sid) {
  std::uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | sid[2 + i];
  std::string text = "S-" + std::to_string(sid[0]) + "-" + std::to_string(authority);
  for (int i = 0; i < sid[1]; ++i) {
    std::uint32_t sub;
    std::memcpy(&sub, sid + kSidHeader + 4 * i, sizeof sub);
    text += "-" + std::to_string(sub);
  }
  return text;
}

}  // namespace zel::fake

namespace zel::os {

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  const fake::PlatformCall call(*fake::Installed(), "OpenProcessToken");
  const fake::HandleEntry* entry = fake::EntryForCall(call, process, fake::HandleKind::Process);
  if (!entry) return 0;
  fake::System* system = fake::Installed();
  const std::lock_guard lock(system->ModelMutex());
  const fake::ProcessModel* owner = system->FindProcess(entry->id);
  DWORD error = 0;
  if (!(entry->access & kProcessQueryInformation))
    error = code::kAccessDenied;
  else if (!owner)
    error = code::kInvalidParameter;
  else if (owner->tokenOpenError)
    error = *owner->tokenOpenError;
  else if (!owner->ownerSid)
    error = fake::kErrorNoToken;
  if (error) {
    SetLastError(error);
    return 0;
  }
  *token = call.Open({fake::HandleKind::Token, entry->id, access});
  return 1;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, void* buffer, DWORD size,
                         DWORD* needed) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "GetTokenInformation");
  const fake::HandleEntry* entry = fake::EntryForCall(call, token, fake::HandleKind::Token);
  if (!entry) return 0;
  const std::lock_guard lock(system->ModelMutex());
  const fake::ProcessModel* owner = system->FindProcess(entry->id);
  if (!owner || !owner->ownerSid) {
    SetLastError(code::kInvalidHandle);
    return 0;
  }
  if (!system->tokenQueryErrors.empty()) {
    const std::uint32_t error = system->tokenQueryErrors.front();
    system->tokenQueryErrors.pop_front();
    if (error) {
      SetLastError(error);
      return 0;
    }
  }
  if (cls != TokenUser) {
    SetLastError(code::kInvalidParameter);
    return 0;
  }
  const std::vector<std::uint8_t> sid = fake::SidFromText(*owner->ownerSid);
  const DWORD required = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  *needed = required;
  if (size < required) {
    SetLastError(code::kInsufficientBuffer);
    system->Returning("GetTokenInformation");
    return 0;
  }
  auto* record = static_cast<TOKEN_USER*>(buffer);
  auto* sid_at = static_cast<std::uint8_t*>(buffer) + sizeof(TOKEN_USER);
  std::memcpy(sid_at, sid.data(), sid.size());
  record->User.Sid = sid_at;
  record->User.Attributes = 0;
  system->Returning("GetTokenInformation");
  return 1;
}

DWORD GetLengthSid(PSID sid) {
  // The revision, the count of sub-authorities, the six bytes of the
  // authority, then four bytes a sub-authority.
  const auto* bytes = static_cast<const std::uint8_t*>(sid);
  return 8 + 4 * DWORD{bytes[1]};
}

BOOL LookupAccountSidW(const WCHAR*, PSID sid, WCHAR* name, DWORD* name_units, WCHAR* domain,
                       DWORD* domain_units, SID_NAME_USE* use) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "LookupAccountSidW");
  if (call.FailsWithLastError()) return 0;
  const std::lock_guard lock(system->ModelMutex());
  const std::string text = fake::SidToText(static_cast<const std::uint8_t*>(sid));
  const fake::AccountModel* account = nullptr;
  for (const auto& a : system->accounts)
    if (a.sid == text) account = &a;
  if (!account) {
    SetLastError(fake::kErrorNoneMapped);
    return 0;
  }
  const DWORD name_needed = static_cast<DWORD>(account->name.size() + 1);
  const DWORD domain_needed = static_cast<DWORD>(account->domain.size() + 1);
  if (*name_units < name_needed || *domain_units < domain_needed) {
    *name_units = name_needed;
    *domain_units = domain_needed;
    SetLastError(code::kInsufficientBuffer);
    return 0;
  }
  std::copy(account->name.begin(), account->name.end(), name);
  name[account->name.size()] = 0;
  std::copy(account->domain.begin(), account->domain.end(), domain);
  domain[account->domain.size()] = 0;
  *name_units = name_needed - 1;
  *domain_units = domain_needed - 1;
  *use = SidTypeUser;
  system->Returning("LookupAccountSidW");
  return 1;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM param) {
  fake::System* system = fake::Installed();
  std::vector<fake::WindowModel> windows;
  {
    const fake::PlatformCall call(*system, "EnumWindows");
    if (call.FailsWithLastError()) return 0;
    // A copy, so that a callback may change the model.
    windows = system->windows;
  }
  for (const auto& window : windows) {
    if (!callback(reinterpret_cast<HWND>(window.handle), param)) return 0;
  }
  return 1;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* process_id) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "GetWindowThreadProcessId");
  if (call.FailsWithLastError()) return 0;
  for (const auto& w : system->windows) {
    if (w.handle != reinterpret_cast<std::uintptr_t>(window)) continue;
    call.About("window of process " + std::to_string(w.processId));
    if (process_id) *process_id = w.processId;
    return w.threadId;
  }
  SetLastError(fake::kErrorInvalidWindowHandle);
  return 0;
}

}  // namespace zel::os
