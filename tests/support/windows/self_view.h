// What a process of the Windows tests sees of itself, and the framing in
// which a child tells its host: each message its length in 32 bits, then its
// bytes. Header-only, so that the 32-bit child, built on its own by the i686
// cross compiler, tells its host in the same framing as the test binary's
// children.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel::test {

// This thread's environment block (TEB). GCC takes the intrinsic's
// gs-relative read for an access to a null array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
[[gnu::noinline]] inline const void* CurrentTeb() { return NtCurrentTeb(); }
#pragma GCC diagnostic pop

inline std::wstring CurrentDirectory() {
  std::wstring directory(::GetCurrentDirectoryW(0, nullptr), L'\0');
  directory.resize(::GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
  return directory;
}

inline std::wstring ModuleFileName() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The environment block up to and including the NUL that ends it.
inline std::vector<std::byte> EnvironmentBytes() {
  const LPWCH block = ::GetEnvironmentStringsW();
  const wchar_t* end = block;
  while (*end != L'\0') end += std::wcslen(end) + 1;
  const auto* first = reinterpret_cast<const std::byte*>(block);
  std::vector<std::byte> bytes(first, reinterpret_cast<const std::byte*>(end + 1));
  ::FreeEnvironmentStringsW(block);
  return bytes;
}

// What a child tells its host of itself, a message each, in this order: its
// command line, current directory, image file, the window title and desktop
// it was started with, and its environment block.
inline std::vector<std::vector<std::byte>> SelfReportMessages() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  const auto bytes = [](std::wstring_view text) {
    const auto* first = reinterpret_cast<const std::byte*>(text.data());
    return std::vector<std::byte>(first, first + text.size() * sizeof(wchar_t));
  };
  return {bytes(::GetCommandLineW()),
          bytes(CurrentDirectory()),
          bytes(ModuleFileName()),
          bytes(startup.lpTitle ? startup.lpTitle : L""),
          bytes(startup.lpDesktop ? startup.lpDesktop : L""),
          EnvironmentBytes()};
}

// A module as Toolhelp32 describes it.
struct ModuleFacts {
  std::wstring name;
  std::wstring path;
  std::uint64_t base = 0;
  std::uint64_t size = 0;
  bool operator==(const ModuleFacts&) const = default;
};

// The modules of process `id` (0: this one) by Toolhelp32's module
// snapshot, in its order.
inline std::vector<ModuleFacts> ToolhelpModules(DWORD id) {
  std::vector<ModuleFacts> modules;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
  if (snapshot == INVALID_HANDLE_VALUE) return modules;
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  for (BOOL ok = ::Module32FirstW(snapshot, &module); ok; ok = ::Module32NextW(snapshot, &module))
    modules.push_back({module.szModule, module.szExePath,
                       reinterpret_cast<std::uintptr_t>(module.modBaseAddr), module.modBaseSize});
  ::CloseHandle(snapshot);
  return modules;
}

// The modules as one message: a line each, its fields separated by tabs.
inline std::wstring ModulesMessage(const std::vector<ModuleFacts>& modules) {
  std::wstring text;
  for (const ModuleFacts& module : modules)
    text += module.name + L'\t' + module.path + L'\t' + std::to_wstring(module.base) + L'\t' +
            std::to_wstring(module.size) + L'\n';
  return text;
}

inline std::vector<ModuleFacts> ParseModulesMessage(std::wstring_view text) {
  std::vector<ModuleFacts> modules;
  while (!text.empty()) {
    const std::wstring_view line = text.substr(0, text.find(L'\n'));
    text.remove_prefix(std::min(text.size(), line.size() + 1));
    std::vector<std::wstring> fields;
    for (std::size_t start = 0;;) {
      const std::size_t tab = line.find(L'\t', start);
      fields.emplace_back(line.substr(start, tab - start));
      if (tab == std::wstring_view::npos) break;
      start = tab + 1;
    }
    if (fields.size() != 4) return {};
    modules.push_back({fields[0], fields[1], std::wcstoull(fields[2].c_str(), nullptr, 10),
                       std::wcstoull(fields[3].c_str(), nullptr, 10)});
  }
  return modules;
}

inline bool WriteAll(HANDLE handle, const std::byte* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    if (!::WriteFile(handle, data, chunk, &written, nullptr)) return false;
    data += written;
    size -= written;
  }
  return true;
}

// One message, framed, in one write.
inline bool SendFrame(HANDLE handle, std::span<const std::byte> message) {
  if (message.size() > UINT32_MAX) return false;
  const auto length = static_cast<std::uint32_t>(message.size());
  std::vector<std::byte> frame(sizeof length);
  std::memcpy(frame.data(), &length, sizeof length);
  frame.insert(frame.end(), message.begin(), message.end());
  return WriteAll(handle, frame.data(), frame.size());
}

inline bool SendFrame(HANDLE handle, std::wstring_view text) {
  return SendFrame(handle, std::as_bytes(std::span(text.data(), text.size())));
}

}  // namespace zel::test
