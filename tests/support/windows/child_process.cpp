// Starting children of the test binary, talking to them, and the binary's main,
// which runs a child mode instead of the tests when started as a child.
#include "child_process.h"
#include "self_view.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <system_error>

namespace zel::test {
namespace {

// What marks a child's command line, followed by the mode's name and the
// values of the two inherited pipe handles (the child's input, then output).
constexpr std::string_view kChildSwitch = "--zel-child";

std::map<std::string, ChildModeEntry, std::less<>>& Modes() {
  // A function-local static, so that registrations from any translation unit
  // find it constructed whatever the order of static initialisation.
  static std::map<std::string, ChildModeEntry, std::less<>> modes;
  return modes;
}

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) ThrowLastError("GetModuleFileNameW");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Quotes one argument the way the C runtime's and CommandLineToArgvW's parsers
// take it apart again: backslashes are literal unless they precede a quote.
void AppendArgument(std::wstring& line, std::wstring_view argument) {
  line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

std::wstring HandleText(HANDLE handle) {
  return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& entries) {
  std::vector<wchar_t> block;
  for (const std::wstring& entry : entries) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  // An empty block still needs both terminating NULs.
  if (entries.empty()) block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

struct PipeEnds {
  OwnedHandle read;
  OwnedHandle write;
};

// Neither end is inheritable yet: the host keeps one, the child gets the other.
PipeEnds MakePipe() {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, nullptr, 0)) ThrowLastError("CreatePipe");
  return {OwnedHandle(read), OwnedHandle(write)};
}

void MakeInheritable(const OwnedHandle& handle) {
  if (!::SetHandleInformation(handle.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
    ThrowLastError("SetHandleInformation");
}

// Limits what the child inherits to its two pipe ends, so that a child started
// while another one's ends are still inheritable cannot keep that pipe open.
class InheritList {
 public:
  explicit InheritList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    if (!::InitializeProcThreadAttributeList(List(), 1, 0, &size))
      ThrowLastError("InitializeProcThreadAttributeList");
    initialized_ = true;
    if (!::UpdateProcThreadAttribute(List(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                     handles_.size() * sizeof(HANDLE), nullptr, nullptr))
      ThrowLastError("UpdateProcThreadAttribute");
  }
  InheritList(const InheritList&) = delete;
  InheritList& operator=(const InheritList&) = delete;
  ~InheritList() {
    if (initialized_) ::DeleteProcThreadAttributeList(List());
  }
  LPPROC_THREAD_ATTRIBUTE_LIST List() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
  }

 private:
  std::vector<HANDLE> handles_;  // the attribute points into it until deleted
  std::vector<std::byte> storage_;
  bool initialized_ = false;
};

bool ReadAll(HANDLE handle, std::byte* data, std::size_t size) {
  while (size > 0) {
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    // A broken pipe is the other side's end of stream.
    if (!::ReadFile(handle, data, chunk, &read, nullptr) || read == 0) return false;
    data += read;
    size -= read;
  }
  return true;
}

HANDLE ParseHandle(std::string_view text) {
  std::uintptr_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return nullptr;
  return reinterpret_cast<HANDLE>(value);
}

int RunChildMode(std::string_view mode, std::string_view input, std::string_view output) {
  const auto found = Modes().find(mode);
  if (found == Modes().end()) {
    std::fprintf(stderr, "windows_tests: no child mode named %.*s\n", static_cast<int>(mode.size()),
                 mode.data());
    return 2;
  }
  OwnedHandle fromHost(ParseHandle(input));
  OwnedHandle toHost(ParseHandle(output));
  // A child mode that starts processes of its own must not hand them the
  // pipe, or the host would not see it close when this child ends.
  for (const OwnedHandle* end : {&fromHost, &toHost})
    ::SetHandleInformation(end->Get(), HANDLE_FLAG_INHERIT, 0);
  MessagePipe host(std::move(fromHost), std::move(toHost));
  return found->second(host);
}

}  // namespace

bool MessagePipe::Send(std::span<const std::byte> message) {
  return SendFrame(output_.Get(), message);
}

bool MessagePipe::SendText(std::wstring_view text) {
  return Send(std::as_bytes(std::span(text.data(), text.size())));
}

std::optional<std::vector<std::byte>> MessagePipe::Receive() {
  std::uint32_t length = 0;
  if (!ReadAll(input_.Get(), reinterpret_cast<std::byte*>(&length), sizeof length))
    return std::nullopt;
  std::vector<std::byte> message(length);
  if (!ReadAll(input_.Get(), message.data(), message.size())) return std::nullopt;
  return message;
}

std::optional<std::wstring> MessagePipe::ReceiveText() {
  const auto message = Receive();
  if (!message) return std::nullopt;
  std::wstring text(message->size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), message->data(), text.size() * sizeof(wchar_t));
  return text;
}

std::wstring BesideTests(const wchar_t* name) {
  const std::wstring tests = ModulePath();
  return tests.substr(0, tests.find_last_of(L'\\') + 1) + name;
}

std::string WhyNo32BitProcesses() {
  const char* why = std::getenv("ZEL_NO_32BIT_PROCESSES");
  return why ? why : "";
}

ChildMode::ChildMode(std::string_view name, ChildModeEntry entry) {
  Modes().emplace(std::string(name), entry);
}

ChildProcess::ChildProcess(const ChildOptions& options) : pipe_(OwnedHandle(), OwnedHandle()) {
  PipeEnds toChild = MakePipe();
  PipeEnds fromChild = MakePipe();
  MakeInheritable(toChild.read);
  MakeInheritable(fromChild.write);

  const std::wstring image = options.image.empty() ? ModulePath() : options.image;
  commandLine_ = L"\"" + image + L"\" " + std::wstring(kChildSwitch.begin(), kChildSwitch.end()) +
                 L" " + std::wstring(options.mode.begin(), options.mode.end()) + L" " +
                 HandleText(toChild.read.Get()) + L" " + HandleText(fromChild.write.Get());
  for (const std::wstring& argument : options.arguments) AppendArgument(commandLine_, argument);

  std::vector<wchar_t> environment;
  if (options.environment) environment = EnvironmentBlock(*options.environment);
  std::wstring title = options.title.value_or(L"");
  std::wstring desktop = options.desktop.value_or(L"");

  InheritList inherit({toChild.read.Get(), fromChild.write.Get()});
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  if (options.title) startup.StartupInfo.lpTitle = title.data();
  if (options.desktop) startup.StartupInfo.lpDesktop = desktop.data();
  if (options.showWindow) {
    startup.StartupInfo.dwFlags |= STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = *options.showWindow;
  }
  startup.lpAttributeList = inherit.List();

  // CreateProcessW may write into the command line it is given.
  std::wstring writableCommandLine = commandLine_;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(
          image.c_str(), writableCommandLine.data(), nullptr, nullptr, TRUE,
          options.creationFlags | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
          options.environment ? environment.data() : nullptr,
          options.currentDirectory.empty() ? nullptr : options.currentDirectory.c_str(),
          &startup.StartupInfo, &started))
    ThrowLastError("CreateProcessW");
  process_ = OwnedHandle(started.hProcess);
  thread_ = OwnedHandle(started.hThread);
  id_ = started.dwProcessId;
  // The child's ends close here with the host's copies, so the host sees the
  // end of the stream as soon as the child's copies go.
  pipe_ = MessagePipe(std::move(fromChild.read), std::move(toChild.write));
}

ChildProcess::~ChildProcess() {
  pipe_.CloseOutput();
  if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.Get(), 1);
    ::WaitForSingleObject(process_.Get(), INFINITE);
  }
}

DWORD ChildProcess::Finish() {
  pipe_.CloseOutput();
  ::WaitForSingleObject(process_.Get(), INFINITE);
  DWORD code = 0;
  if (!::GetExitCodeProcess(process_.Get(), &code)) ThrowLastError("GetExitCodeProcess");
  return code;
}

void ChildProcess::Release() {
  thread_.Reset();
  process_.Reset();
}

}  // namespace zel::test

int main(int argc, char** argv) {
  if (argc >= 5 && std::string_view(argv[1]) == zel::test::kChildSwitch)
    return zel::test::RunChildMode(argv[2], argv[3], argv[4]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
