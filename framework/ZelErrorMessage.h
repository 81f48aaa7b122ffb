/// @file
/// The texts of the codes that ZelProcess records, for a host to show.
#pragma once

#include <string>
#include <system_error>

#include "ZelError.h"

namespace zel {

/// The text of `code`, in UTF-8, without a line end.
///
/// On Windows it is the system's own text: FormatMessageW's for a system
/// error code, and for a native status (a code with either of its two top
/// bits set) the text of NTDLL.DLL's message table. On Linux it is the text
/// that English Windows gives for every code of ZelCodes.h ("Access is
/// denied."), and for a native status its hexadecimal value and name, as
/// "0xC0000004 (STATUS_INFO_LENGTH_MISMATCH)". An HRESULT of the Win32
/// facility (0x8007xxxx, as HRESULT_FROM_WIN32 makes it) gives the text of
/// the Win32 code it carries on both targets, as FormatMessageW does:
/// 0x80070005 the text of 5. Any other status without a text is given as its
/// value, with its name where the library knows it, on both targets; any
/// other code without a text as "Unknown error" and its decimal value. Never
/// throws but std::bad_alloc.
ZELERROR_API std::string ErrorMessage(ZelCode code);

/// The category of the codes that ZelProcess records: its message() is
/// ErrorMessage(), and its name() "zel". CZelProcess's constructor throws
/// std::system_error with it, so that what() holds the text; the code's
/// value() is the ZelCode, cast to int.
ZELERROR_API const std::error_category& error_category() noexcept;

}  // namespace zel
