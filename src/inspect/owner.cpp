// The account that owns a live process.
#include <new>
#include <utility>
#include <vector>

#include "../platform/codes.h"
#include "../platform/unique_handle.h"
#include "../snapshot/records.h"
#include "ZelProcess.h"

int CZelProcess::GetUserAndDomain(void* hProcess, CZelString& strUser, CZelString& strDomain) {
  strUser.Empty();
  strDomain.Empty();
  if (!zel::records::AsHandle(hProcess, zel::layout::ZELFIND_PROCESS)) {
    m_Error.SetError(zel::code::kInvalidHandle);
    return 0;
  }
  const unsigned int process_id = GetProcessID(hProcess);
  const zel::os::UniqueHandle process(
      zel::os::OpenProcess(zel::os::kProcessQueryInformation, 0, process_id));
  if (!process) {
    m_Error.SetError(zel::code::kAccessDenied);
    return 0;
  }
  zel::os::HANDLE token_handle = nullptr;
  if (!zel::os::OpenProcessToken(process.Get(), zel::os::kTokenQuery, &token_handle)) {
    m_Error.SetError(zel::os::GetLastError());
    return 0;
  }
  const zel::os::UniqueHandle token(token_handle);

  // A first query too small for any user record tells the size needed.
  std::byte sizing[zel::layout::kTokenSizingBufferSize];
  zel::os::DWORD needed = 0;
  zel::os::GetTokenInformation(token.Get(), zel::os::kTokenUser, sizing, sizeof sizing, &needed);
  if (const ZelCode error = zel::os::GetLastError(); error != zel::code::kInsufficientBuffer) {
    m_Error.SetError(error);
    return 0;
  }
  // Held as 64-bit words so that the record's SID pointer is aligned.
  std::vector<std::uint64_t> user;
  const zel::os::DWORD size = needed + zel::layout::kTokenBufferSlack;
  try {
    user.resize((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  } catch (const std::bad_alloc&) {
    m_Error.SetError(zel::code::kOutOfMemory);
    return 0;
  }
  if (!zel::os::GetTokenInformation(token.Get(), zel::os::kTokenUser, user.data(), size, &needed)) {
    m_Error.SetError(zel::os::GetLastError());
    return 0;
  }
  zel::os::WCHAR name[zel::layout::kAccountNameUnits];
  zel::os::WCHAR domain[zel::layout::kAccountNameUnits];
  zel::os::DWORD name_units = zel::layout::kAccountNameUnits;
  zel::os::DWORD domain_units = zel::layout::kAccountNameUnits;
  zel::os::SID_NAME_USE use;
  const auto* record = reinterpret_cast<const zel::os::TOKEN_USER*>(user.data());
  if (!zel::os::LookupAccountSidW(nullptr, record->User.Sid, name, &name_units, domain,
                                  &domain_units, &use)) {
    m_Error.SetError(zel::os::GetLastError());
    return 0;
  }
  // Both strings are built before either is given, so that a failed
  // allocation leaves the caller with two empty strings, not half an answer.
  try {
    CZelString user(name);
    CZelString found_domain(domain);
    strUser = std::move(user);
    strDomain = std::move(found_domain);
  } catch (const std::bad_alloc&) {
    m_Error.SetError(zel::code::kOutOfMemory);
    return 0;
  }
  return 1;
}
