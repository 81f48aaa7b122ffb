// The system's own text of a code, on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace zel::error_texts {

// FormatMessageW's text of a system error code, or of a native status from
// NTDLL.DLL's message table, in UTF-8 and without its line end; empty when
// the system has none.
std::string SystemMessage(std::uint32_t code);

}  // namespace zel::error_texts
