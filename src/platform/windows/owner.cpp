// The account that owns a live process.
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "../account_names.h"
#include "../codes.h"
#include "block_layouts.h"
#include "../source.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {

int ReadOwner(const Caller& caller, const Process& target, AccountNames& names, CZelString& user,
              CZelString& domain) {
  const os::UniqueHandle process(
      windows::OpenSnapshotProcess(os::kProcessQueryInformation, target));
  if (!process) {
    caller.error.SetError(code::kAccessDenied);
    return 0;
  }
  os::HANDLE token_handle = nullptr;
  if (!os::OpenProcessToken(process.Get(), os::kTokenQuery, &token_handle)) {
    caller.error.SetError(os::GetLastError());
    return 0;
  }
  const os::UniqueHandle token(token_handle);

  // A first query too small for any user record tells the size needed.
  std::byte sizing[layout::kTokenSizingBufferSize];
  os::DWORD needed = 0;
  os::GetTokenInformation(token.Get(), os::kTokenUser, sizing, sizeof sizing, &needed);
  if (const ZelCode error = os::GetLastError(); error != code::kInsufficientBuffer) {
    caller.error.SetError(error);
    return 0;
  }
  // Held as 64-bit words so that the record's SID pointer is aligned.
  std::vector<std::uint64_t> token_user;
  const os::DWORD size = needed + layout::kTokenBufferSlack;
  try {
    token_user.resize((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  } catch (const std::bad_alloc&) {
    caller.error.SetError(code::kOutOfMemory);
    return 0;
  }
  if (!os::GetTokenInformation(token.Get(), os::kTokenUser, token_user.data(), size, &needed)) {
    caller.error.SetError(os::GetLastError());
    return 0;
  }
  const auto* record = reinterpret_cast<const os::TOKEN_USER*>(token_user.data());
  const std::string_view key(static_cast<const char*>(record->User.Sid),
                             os::GetLengthSid(record->User.Sid));
  return GiveNamesOf(caller.error, names, key, user, domain, [&] {
    os::WCHAR name[layout::kAccountNameUnits];
    os::WCHAR domain_name[layout::kAccountNameUnits];
    os::DWORD name_units = layout::kAccountNameUnits;
    os::DWORD domain_units = layout::kAccountNameUnits;
    os::SID_NAME_USE use;
    std::optional<AccountNames::Names> looked_up;
    if (os::LookupAccountSidW(nullptr, record->User.Sid, name, &name_units, domain_name,
                              &domain_units, &use))
      looked_up = {CZelString(name), CZelString(domain_name)};
    else
      caller.error.SetError(os::GetLastError());
    return looked_up;
  });
}

}  // namespace zel::source
