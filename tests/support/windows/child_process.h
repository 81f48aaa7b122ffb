// Children of the test binary: the host starts windows_tests.exe again in one
// of its child modes, with the command line, directory, environment and
// startup facts a test wants, and exchanges messages with it over a pair of
// pipes. A child mode is a function registered under a name; the binary's
// main runs it instead of the tests when started as a child.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host_handles.h"

namespace zel::test {

// One side of a conversation: whole messages of bytes, each framed by its
// length, so that neither side needs a delimiter its payload could contain.
class MessagePipe {
 public:
  MessagePipe(OwnedHandle input, OwnedHandle output)
      : input_(std::move(input)), output_(std::move(output)) {}

  // False once the other side has stopped reading.
  bool Send(std::span<const std::byte> message);
  // UTF-16 as it is in memory, so that every unit arrives unchanged, unpaired
  // surrogates and embedded NULs included.
  bool SendText(std::wstring_view text);
  // Nothing once the other side has closed its end (or exited) and every
  // message it sent has been read.
  std::optional<std::vector<std::byte>> Receive();
  std::optional<std::wstring> ReceiveText();
  // The other side's Receive then yields nothing: the usual way to tell a
  // child that it may end.
  void CloseOutput() { output_.Reset(); }

 private:
  OwnedHandle input_;
  OwnedHandle output_;
};

// What a child mode runs in the child; its result is the child's exit code.
using ChildModeEntry = int (*)(MessagePipe& host);

// Registers a child mode at static initialisation, typically as a constant at
// namespace scope next to the tests that start it. Names are ASCII without
// spaces and unique within the binary.
class ChildMode {
 public:
  ChildMode(std::string_view name, ChildModeEntry entry);
};

// How to start a child; the defaults start it like the host.
struct ChildOptions {
  std::string mode;
  // Another program that speaks the same protocol (its command line starts
  // as the test binary's would); the test binary when empty.
  std::wstring image;
  // Appended to the child's command line after what the helper needs there,
  // each quoted so that the child's argv gives it back unchanged.
  std::vector<std::wstring> arguments;
  // The host's when empty.
  std::wstring currentDirectory;
  // "NAME=value" entries, put in the block in this order; the host's
  // environment when absent.
  std::optional<std::vector<std::wstring>> environment;
  // STARTUPINFOW's lpTitle and lpDesktop, left null when absent.
  std::optional<std::wstring> title;
  std::optional<std::wstring> desktop;
  // STARTUPINFOW's wShowWindow, with STARTF_USESHOWWINDOW, when present.
  std::optional<WORD> showWindow;
  // Added to what the helper passes (CREATE_UNICODE_ENVIRONMENT,
  // EXTENDED_STARTUPINFO_PRESENT).
  DWORD creationFlags = 0;
};

// A program built beside the test binary (the 32-bit child).
std::wstring BesideTests(const wchar_t* name);

// Why no 32-bit process can start on this machine, as the test command found
// it (a kernel or hypervisor without 32-bit x86 code segments); empty where
// one can. The 32-bit child's tests say so and do not run there.
std::string WhyNo32BitProcesses();

// A running child of the host. Whatever happens to the test, the destructor
// leaves no child behind: it closes the pipe and ends a child still running.
class ChildProcess {
 public:
  // Throws std::system_error with the Windows code when the child cannot be
  // started.
  explicit ChildProcess(const ChildOptions& options);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  DWORD Id() const { return id_; }
  // Null after Release.
  HANDLE Handle() const { return process_.Get(); }
  // Exactly what CreateProcessW was given.
  const std::wstring& CommandLine() const { return commandLine_; }
  MessagePipe& Pipe() { return pipe_; }

  // Closes the host's end of the pipe, waits for the child to end and returns
  // its exit code.
  DWORD Finish();
  // Closes the host's handles on the child, which must have ended, so that
  // nothing keeps its process object and its ID names no process any more.
  void Release();

 private:
  std::wstring commandLine_;
  OwnedHandle process_;
  OwnedHandle thread_;
  DWORD id_ = 0;
  MessagePipe pipe_;
};

}  // namespace zel::test
