// The texts that ErrorMessage gives where the system has none: those of the
// codes the library records, in the words of English Windows (the ones that
// its documentation gives and people search for), and the names of the
// native statuses it may pass on.
#pragma once

#include <cstdint>
#include <string_view>

namespace zel::error_texts {

struct Text {
  std::uint32_t code;
  std::string_view text;
};

inline constexpr Text kSystemTexts[] = {
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
    {234, "More data is available."},
    {259, "No more data is available."},
    {299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed."},
    {1008, "An attempt was made to reference a token that does not exist."},
    {1168, "Element not found."},
    {1359, "An internal error occurred."},
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

// The Win32 code that an HRESULT of the Win32 facility (HRESULT_FROM_WIN32,
// 0x8007xxxx) carries, whose text FormatMessageW gives for it; any other
// code as it is.
constexpr std::uint32_t Win32Code(std::uint32_t code) {
  return (code & 0xFFFF0000u) == 0x80070000u ? code & 0xFFFFu : code;
}

// The entry of `code` in `table`, or an empty text.
template <std::size_t N>
constexpr std::string_view Find(const Text (&table)[N], std::uint32_t code) {
  for (const Text& entry : table)
    if (entry.code == code) return entry.text;
  return {};
}

}  // namespace zel::error_texts
