// A 32-bit child of the Windows tests, built with the i686 cross compiler.
// It changes what its own code keeps in its 32-bit blocks (its current
// directory and a variable), then tells the host what it sees of itself, in
// the framing of the test binary's child pipes (each message its length in
// 32 bits, then its bytes), and waits until the host closes its end.
//
// Started as the test binary's children are:
//   wow64_child.exe --zel-child MODE INPUT OUTPUT DIRECTORY NAME=VALUE
// where INPUT and OUTPUT are the inherited pipe handles' values.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

namespace {

HANDLE ParseHandle(const wchar_t* text) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 10)));
}

bool WriteAll(HANDLE pipe, const void* data, DWORD size) {
  const auto* at = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(pipe, at, size, &written, nullptr)) return false;
    at += written;
    size -= written;
  }
  return true;
}

bool Send(HANDLE pipe, const void* data, std::size_t size) {
  const auto length = static_cast<std::uint32_t>(size);
  return WriteAll(pipe, &length, sizeof length) && WriteAll(pipe, data, length);
}

bool SendText(HANDLE pipe, std::wstring_view text) {
  return Send(pipe, text.data(), text.size() * sizeof(wchar_t));
}

std::wstring CurrentDirectory() {
  std::wstring directory(::GetCurrentDirectoryW(0, nullptr), L'\0');
  directory.resize(::GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
  return directory;
}

std::wstring ModuleFileName() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The block up to and including the NUL that ends it.
std::wstring EnvironmentBlock() {
  const LPWCH block = ::GetEnvironmentStringsW();
  const wchar_t* end = block;
  while (*end != L'\0') end += std::wcslen(end) + 1;
  std::wstring text(block, static_cast<std::size_t>(end + 1 - block));
  ::FreeEnvironmentStringsW(block);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 7 || std::wstring_view(argv[1]) != L"--zel-child") return 2;
  const HANDLE from_host = ParseHandle(argv[3]);
  const HANDLE to_host = ParseHandle(argv[4]);
  const std::wstring assignment = argv[6];
  const std::size_t equals = assignment.find(L'=');
  if (equals == std::wstring::npos) return 2;
  if (!::SetCurrentDirectoryW(argv[5]) ||
      !::SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                                 assignment.substr(equals + 1).c_str()))
    return 3;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  const std::wstring environment = EnvironmentBlock();
  if (!SendText(to_host, ::GetCommandLineW()) || !SendText(to_host, CurrentDirectory()) ||
      !SendText(to_host, ModuleFileName()) ||
      !SendText(to_host, startup.lpTitle ? startup.lpTitle : L"") ||
      !SendText(to_host, startup.lpDesktop ? startup.lpDesktop : L"") ||
      !SendText(to_host, environment))
    return 1;
  // Alive until the host has read what it wants and closes the pipe.
  char byte;
  DWORD read = 0;
  while (::ReadFile(from_host, &byte, sizeof byte, &read, nullptr) && read > 0) {
  }
  ::CloseHandle(to_host);
  ::CloseHandle(from_host);
  return 0;
}
