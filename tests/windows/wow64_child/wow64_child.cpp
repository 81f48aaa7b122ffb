// A 32-bit child of the Windows tests, built with the i686 cross compiler.
// It changes what its own code keeps in its 32-bit blocks (its current
// directory and a variable), then tells the host what it sees of itself, in
// the framing of the test binary's child pipes (each message its length in
// 32 bits, then its bytes), and waits until the host closes its end.
//
// In the mode "report-modules" it then tells its modules as Toolhelp32 lists
// them (one message more).
//
// Started as the test binary's children are:
//   wow64_child.exe --zel-child MODE INPUT OUTPUT DIRECTORY NAME=VALUE
// where INPUT and OUTPUT are the inherited pipe handles' values.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "../../support/windows/self_view.h"
#include "platform/windows/block_layouts.h"

// The 32-bit layouts by which the library reads a 32-bit process's modules,
// where the platform's headers, as a 32-bit program sees them, name the
// fields.
namespace layout = zel::layout;
static_assert(offsetof(PEB, Ldr) == offsetof(layout::PebPrefix32, Ldr));
static_assert(offsetof(PEB_LDR_DATA, InMemoryOrderModuleList) ==
              offsetof(layout::LoaderData32, InMemoryOrderModuleList));
static_assert(offsetof(LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks) ==
              offsetof(layout::LoaderEntry32, InMemoryOrderLinks));
static_assert(offsetof(LDR_DATA_TABLE_ENTRY, DllBase) == offsetof(layout::LoaderEntry32, DllBase));
static_assert(offsetof(LDR_DATA_TABLE_ENTRY, FullDllName) ==
              offsetof(layout::LoaderEntry32, FullDllName));

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
  if (std::wstring_view(argv[2]) == L"report-modules" &&
      !zel::test::SendFrame(to_host, zel::test::ModulesMessage(zel::test::ToolhelpModules(0))))
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
