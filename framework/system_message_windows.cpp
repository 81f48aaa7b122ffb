#include "system_message.h"

#include <windows.h>

#include <memory>

#include "error_texts.h"

namespace zel::error_texts {
namespace {

struct FreeLocal {
  void operator()(wchar_t* text) const { ::LocalFree(text); }
};

std::string Utf8(const wchar_t* text, int units) {
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text, units, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

}  // namespace

std::string SystemMessage(std::uint32_t code) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  HMODULE ntdll = nullptr;
  if (IsNativeStatus(code)) {
    // NTDLL.DLL is in every process; its message table holds the statuses.
    ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  wchar_t* allocated = nullptr;
  const DWORD units =
      ::FormatMessageW(flags, ntdll, code, 0, reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
  const std::unique_ptr<wchar_t, FreeLocal> text(allocated);
  if (units == 0 || !text) return {};
  DWORD end = units;
  while (end > 0 && (text.get()[end - 1] == L'\r' || text.get()[end - 1] == L'\n')) --end;
  return Utf8(text.get(), static_cast<int>(end));
}

}  // namespace zel::error_texts
