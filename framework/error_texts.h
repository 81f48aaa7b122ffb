// The texts that ErrorMessage gives where the system has none: those of the
// codes the library records, as FormatMessageW words them in English under
// Wine, and the names of the native statuses it may pass on.
#pragma once

#include <cstdint>
#include <string_view>

namespace zel::error_texts {

struct Text {
  std::uint32_t code;
  std::string_view text;
};

inline constexpr Text kSystemTexts[] = {
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
    {259, "No more data available."},
    {299, "Read/WriteProcessMemory partially completed."},
    {1008, "Nonexistent token."},
    {1168, "Element not found."},
    {1359, "Internal error."},
    {1608, "Unknown property."},
};

inline constexpr Text kStatusNames[] = {
    {0x80000002, "STATUS_DATATYPE_MISALIGNMENT"}, {0xC0000001, "STATUS_UNSUCCESSFUL"},
    {0xC0000003, "STATUS_INVALID_INFO_CLASS"},    {0xC0000004, "STATUS_INFO_LENGTH_MISMATCH"},
    {0xC0000005, "STATUS_ACCESS_VIOLATION"},      {0xC0000008, "STATUS_INVALID_HANDLE"},
    {0xC000000D, "STATUS_INVALID_PARAMETER"},     {0xC0000017, "STATUS_NO_MEMORY"},
    {0xC0000022, "STATUS_ACCESS_DENIED"},         {0xC00000BB, "STATUS_NOT_SUPPORTED"},
};

// A native status has a severity: either of the two top bits is set. No
// system error code has one.
constexpr bool IsNativeStatus(std::uint32_t code) { return (code & 0xC0000000u) != 0; }

// The entry of `code` in `table`, or an empty text.
template <std::size_t N>
constexpr std::string_view Find(const Text (&table)[N], std::uint32_t code) {
  for (const Text& entry : table)
    if (entry.code == code) return entry.text;
  return {};
}

}  // namespace zel::error_texts
