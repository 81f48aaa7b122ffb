// UTF-8 text of the Linux side as the UTF-16 that the model holds.
#pragma once

#include <string>
#include <string_view>

namespace zel::procfs {

// Each ill-formed UTF-8 sequence becomes U+FFFD; NUL bytes are kept.
std::u16string Utf16(std::string_view utf8);

}  // namespace zel::procfs
