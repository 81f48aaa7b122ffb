// What the tests of the live reads share: the host's own view of what the
// library reads from outside, the library's getters by name, and the
// directory and desktop that a child is started in.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <optional>

#include "ZelHandles.h"
#include "ZelProcess.h"
#include "child_process.h"
#include "self_view.h"
#include "support/live_failure_codes.h"

namespace zel::test {

// How much of an environment block GetEnvironmentBuffer copies.
inline constexpr std::size_t kEnvironmentCopySize = 4096;

// What a child says of itself (SelfReportMessages): its view of what the
// library reads from outside.
struct SelfReport {
  std::wstring commandLine;
  std::wstring currentDirectory;
  std::wstring moduleFile;
  std::wstring title;
  std::wstring desktop;
  std::vector<std::byte> environment;

  std::wstring_view EnvironmentText() const {
    return {reinterpret_cast<const wchar_t*>(environment.data()),
            environment.size() / sizeof(wchar_t)};
  }
};
// Nothing when the child ended before it had said all of it.
std::optional<SelfReport> ReadReport(MessagePipe& child);

// Every string getter on the child gives what it reported, each with code 0
// (the loader's search path only its code: its content is the platform's
// affair).
void ExpectStringsAsReported(CZelProcess& processes, void* child, const SelfReport& report);

// The parameters block keeps the current directory with a trailing separator,
// which GetCurrentDirectoryW drops for every directory but a drive's root.
std::wstring AsKeptInParameters(std::wstring directory);

// Windows' own DLLs may need it in a child given an environment of its own.
std::wstring SystemRootEntry();

// Where the two byte runs first differ, or their common length.
std::size_t FirstDifference(const unsigned char* ours, const std::vector<std::byte>& theirs,
                            std::size_t length);

// A copy of the whole block, given back on every path out of a test; its
// size is 0 without a copy.
struct EnvironmentBlock {
  EnvironmentBlock(CZelProcess& owner, void* process)
      : bytes(owner.GetEnvironmentBlock(process, size)), copy(owner, bytes, size) {}
  std::size_t size = 0;
  unsigned char* bytes;
  zel::EnvironmentCopy copy;
  // Whether it holds exactly these bytes.
  bool Holds(const std::vector<std::byte>& block) const {
    return bytes != nullptr && size == block.size() && FirstDifference(bytes, block, size) == size;
  }
};

// A directory of the temporary directory, removed again.
class TempDirectory {
 public:
  explicit TempDirectory(std::wstring_view name);
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory();
  const std::wstring& path() const { return path_; }
  bool created() const { return created_; }

 private:
  std::wstring path_;
  bool created_ = false;
};

// A desktop of its own, so that the name the child is given is one that
// neither the host nor a default could supply.
class Desktop {
 public:
  explicit Desktop(const wchar_t* name);
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  ~Desktop();
  // "station\desktop", as STARTUPINFOW takes it; empty when not made.
  const std::wstring& fullName() const { return fullName_; }

 private:
  HDESK desktop_;
  std::wstring fullName_;
};

inline constexpr int kRounds = 1000;

struct ReadTally {
  int stringsRead = 0;  // GetPath's aside, which may be empty on success
  int copiesMade = 0;
  int blocksMade = 0;
};

// Every getter `rounds` times, then as many environment copies and whole
// blocks given back, checking after each kind that the host holds no more
// handles than before.
ReadTally ReadRepeatedly(CZelProcess& processes, void* process, int rounds = kRounds);

}  // namespace zel::test
