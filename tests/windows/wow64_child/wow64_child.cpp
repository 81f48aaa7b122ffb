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
#include <string>
#include <string_view>

#include "../../support/windows/self_view.h"

namespace {

HANDLE ParseHandle(const wchar_t* text) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 10)));
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

  for (const auto& message : zel::test::SelfReportMessages())
    if (!zel::test::SendFrame(to_host, message)) return 1;
  // Alive until the host has read what it wants and closes the pipe.
  char byte;
  DWORD read = 0;
  while (::ReadFile(from_host, &byte, sizeof byte, &read, nullptr) && read > 0) {
  }
  ::CloseHandle(to_host);
  ::CloseHandle(from_host);
  return 0;
}
