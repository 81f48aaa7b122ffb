#include "live_reads.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <iterator>

#include "comparable.h"
#include "handle_count.h"

namespace zel::test {

std::optional<SelfReport> ReadReport(MessagePipe& child) {
  SelfReport report;
  for (std::wstring* text : {&report.commandLine, &report.currentDirectory, &report.moduleFile,
                             &report.title, &report.desktop}) {
    auto received = child.ReceiveText();
    if (!received) return std::nullopt;
    *text = std::move(*received);
  }
  auto environment = child.Receive();
  if (!environment) return std::nullopt;
  report.environment = std::move(*environment);
  return report;
}

void ExpectStringsAsReported(CZelProcess& processes, void* child, const SelfReport& report) {
  const std::wstring expected[] = {report.moduleFile, report.commandLine,
                                   AsKeptInParameters(report.currentDirectory), report.title,
                                   report.desktop};
  const auto getters = Getters();
  for (std::size_t i = 0; i < getters.size(); ++i) {
    const std::wstring text = Text((processes.*getters[i].read)(child));
    if (i < std::size(expected)) {
      EXPECT_EQ(text, expected[i]) << getters[i].name;
    }
    EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS) << getters[i].name;
  }
}

std::wstring AsKeptInParameters(std::wstring directory) {
  if (!directory.empty() && directory.back() != L'\\') directory += L'\\';
  return directory;
}

std::wstring SystemRootEntry() {
  std::array<wchar_t, MAX_PATH> root{};
  ::GetEnvironmentVariableW(L"SystemRoot", root.data(), static_cast<DWORD>(root.size()));
  return L"SystemRoot=" + std::wstring(root.data());
}

std::size_t FirstDifference(const unsigned char* ours, const std::vector<std::byte>& theirs,
                            std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (ours[i] != std::to_integer<unsigned char>(theirs[i])) return i;
  return length;
}

TempDirectory::TempDirectory(std::wstring_view name) {
  std::wstring temp(MAX_PATH + 1, L'\0');
  temp.resize(::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
  path_ = temp + std::wstring(name);
  created_ = ::CreateDirectoryW(path_.c_str(), nullptr) != 0;
}

TempDirectory::~TempDirectory() {
  if (created_) ::RemoveDirectoryW(path_.c_str());
}

Desktop::Desktop(const wchar_t* name)
    : desktop_(::CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr)) {
  std::array<wchar_t, 256> station{};
  DWORD needed = 0;
  if (desktop_ != nullptr &&
      ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_NAME, station.data(),
                                  static_cast<DWORD>(station.size() * sizeof(wchar_t)), &needed))
    fullName_ = std::wstring(station.data()) + L"\\" + name;
}

Desktop::~Desktop() {
  if (desktop_ != nullptr) ::CloseDesktop(desktop_);
}

ReadTally ReadRepeatedly(CZelProcess& processes, void* process, int rounds) {
  ReadTally tally;
  const std::size_t before = HandleCount();
  for (const Getter& getter : Getters()) {
    for (int i = 0; i < rounds; ++i)
      if (!(processes.*getter.read)(process).IsEmpty() && getter.read != &CZelProcess::GetPath)
        ++tally.stringsRead;
    EXPECT_EQ(HandleCount(), before) << "after " << getter.name;
  }
  for (int i = 0; i < rounds; ++i) {
    unsigned char* copy = processes.GetEnvironmentBuffer(process);
    if (copy != nullptr) {
      ++tally.copiesMade;
      processes.FreeEnvironmentBuffer(copy);
    }
  }
  EXPECT_EQ(HandleCount(), before) << "after GetEnvironmentBuffer";
  for (int i = 0; i < rounds; ++i) {
    std::size_t size = 0;
    unsigned char* block = processes.GetEnvironmentBlock(process, size);
    if (block != nullptr) {
      ++tally.blocksMade;
      processes.FreeEnvironmentBuffer(block);
    }
  }
  EXPECT_EQ(HandleCount(), before) << "after GetEnvironmentBlock";
  return tally;
}

}  // namespace zel::test
