// The texts of every code that the public constants name. Under Wine they
// are held against the system's own FormatMessageW, and so are the texts
// that the Linux build gives, Windows' words, where Wine's are the same;
// natively, the Linux build must know each one, in the words Windows
// documents.
#include "ZelErrorMessage.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "ZelCodes.h"
#include "error_texts.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

struct Constant {
  std::string name;  // kErrorAccessDenied
  ZelCode value;
};

// Every constant of the public header, read from its text so that one added
// there is checked here without more ado.
std::vector<Constant> PublicConstants() {
  std::ifstream header(ZEL_CODES_HEADER);
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  const std::string declaration = "inline constexpr ZelCode ";
  std::vector<Constant> found;
  for (std::size_t at = source.find(declaration); at != std::string::npos;
       at = source.find(declaration, at + 1)) {
    const std::size_t name = at + declaration.size();
    const std::size_t equals = source.find(" = ", name);
    const std::size_t end = source.find(';', equals);
    if (equals == std::string::npos || end == std::string::npos) break;
    const std::string value = source.substr(equals + 3, end - equals - 3);
    found.push_back(
        {source.substr(name, equals - name), static_cast<ZelCode>(std::stoul(value, nullptr, 0))});
  }
  return found;
}

// kStatusInfoLengthMismatch: STATUS_INFO_LENGTH_MISMATCH.
std::string StatusName(const std::string& constant) {
  std::string name;
  for (std::size_t i = 1; i < constant.size(); ++i) {
    if (i > 1 && std::isupper(static_cast<unsigned char>(constant[i]))) name += '_';
    name += static_cast<char>(std::toupper(static_cast<unsigned char>(constant[i])));
  }
  return name;
}

std::string Hex(ZelCode code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, code);
  return text;
}

#if defined(_WIN32)
// Where Wine's FormatMessageW words a code otherwise than Windows does.
constexpr zel::error_texts::Text kWineWording[] = {
    {0, "Success."},
    {4, "Too many open files."},
    {5, "Access denied."},
    {6, "Invalid handle."},
    {14, "Out of memory."},
    {30, "Read fault."},
    {50, "Request not supported."},
    {87, "Invalid parameter."},
    {122, "Insufficient buffer."},
    {126, "Module not found."},
    {127, "Procedure not found."},
    {234, "More data available."},
    {259, "No more data available."},
    {299, "Read/WriteProcessMemory partially completed."},
    {1008, "Nonexistent token."},
    {1359, "Internal error."},
};
#endif

bool IsStatusConstant(const Constant& c) {
  return c.name.rfind("kStatus", 0) == 0 && zel::error_texts::IsNativeStatus(c.value);
}

TEST(ErrorMessageTest, ReadsEveryPublicConstant) {
  const std::vector<Constant> constants = PublicConstants();
  ASSERT_GE(constants.size(), 20u) << "cannot read the constants of " << ZEL_CODES_HEADER;
  for (const Constant& c : constants) {
    const std::string message = zel::ErrorMessage(c.value);
    if (IsStatusConstant(c)) {
#if defined(_WIN32)
      // NTDLL.DLL's message table where it has one (Wine's has none).
      wchar_t* text = nullptr;
      const DWORD units =
          ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM,
                           ::GetModuleHandleW(L"ntdll.dll"), c.value, 0,
                           reinterpret_cast<wchar_t*>(&text), 0, nullptr);
      if (text) ::LocalFree(text);
      if (units != 0) {
        EXPECT_EQ(message.find("0x"), std::string::npos) << c.name << ": " << message;
        continue;
      }
#endif
      EXPECT_EQ(message, Hex(c.value) + " (" + StatusName(c.name) + ")") << c.name;
      continue;
    }
    const std::string table(zel::error_texts::Find(zel::error_texts::kSystemTexts, c.value));
    EXPECT_FALSE(table.empty()) << c.name << " has no text on Linux";
#if defined(_WIN32)
    wchar_t* text = nullptr;
    const DWORD units = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, c.value, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    ASSERT_NE(units, 0u) << c.name << ": the system has no text";
    std::string system;
    for (DWORD i = 0; i < units; ++i) system += static_cast<char>(text[i]);
    ::LocalFree(text);
    while (!system.empty() && (system.back() == '\n' || system.back() == '\r')) system.pop_back();
    EXPECT_EQ(message, system) << c.name;
    // What the Linux build gives for the code: Windows' own words, which
    // are Wine's unless Wine is known to word it otherwise.
    const std::string_view wine = zel::error_texts::Find(kWineWording, c.value);
    EXPECT_EQ(system, wine.empty() ? table : wine) << c.name;
    EXPECT_NE(table, wine) << c.name << ": the table holds Wine's wording";
#endif
  }
}

// The English words that Windows documents for the codes the library
// records: what a host searches for, and what the Linux build must say.
constexpr zel::error_texts::Text kDocumentedTexts[] = {
    {0, "The operation completed successfully."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {30, "The system cannot read from the specified device."},
    {50, "The request is not supported."},
    {87, "The parameter is incorrect."},
    {122, "The data area passed to a system call is too small."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {259, "No more data is available."},
    {299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed."},
    {1008, "An attempt was made to reference a token that does not exist."},
    {1168, "Element not found."},
    {1359, "An internal error occurred."},
    {1608, "Unknown property."},
};

TEST(ErrorMessageTest, LinuxGivesTheTextsThatWindowsDocuments) {
  for (const auto& [code, text] : kDocumentedTexts) {
#if defined(_WIN32)
    // The system's own under Wine: the Linux build's table is checked.
    EXPECT_EQ(zel::error_texts::Find(zel::error_texts::kSystemTexts, code), text) << code;
#else
    EXPECT_EQ(zel::ErrorMessage(code), text) << code;
#endif
  }
}

TEST(ErrorMessageTest, GivesCodesWithoutTextByTheirValue) {
  EXPECT_EQ(zel::ErrorMessage(0xC0001234), "0xC0001234");
#if !defined(_WIN32)
  // Windows' own message table may have a text for it.
  EXPECT_EQ(zel::ErrorMessage(0xC0000017), "0xC0000017 (STATUS_NO_MEMORY)");
#endif
  EXPECT_EQ(zel::ErrorMessage(12345), "Unknown error 12345");
  // An HRESULT of the Win32 facility reads as the code it carries.
  EXPECT_EQ(zel::ErrorMessage(0x80070005), zel::ErrorMessage(zel::kErrorAccessDenied));
  EXPECT_EQ(zel::ErrorMessage(0x80070057), zel::ErrorMessage(zel::kErrorInvalidParameter));
  EXPECT_EQ(zel::ErrorMessage(0x8007FFFF), "0x8007FFFF");
}

TEST(ErrorMessageTest, CategoryCarriesTheTextIntoSystemErrors) {
  const std::system_error error(static_cast<int>(zel::kErrorAccessDenied), zel::error_category(),
                                "opening");
  EXPECT_STREQ(zel::error_category().name(), "zel");
#if !defined(_WIN32)
  EXPECT_EQ(error.code().message(), "Access is denied.");
#endif
  EXPECT_EQ(error.code().message(), zel::ErrorMessage(zel::kErrorAccessDenied));
  EXPECT_EQ(std::string(error.what()), "opening: " + zel::ErrorMessage(zel::kErrorAccessDenied));
  // A status survives the int of std::error_code.
  const std::error_code status(static_cast<int>(zel::kStatusInfoLengthMismatch),
                               zel::error_category());
  EXPECT_EQ(status.message(), zel::ErrorMessage(zel::kStatusInfoLengthMismatch));
}

}  // namespace
