#include "utf16_text.h"

#include "ZelString.h"

namespace zel::procfs {

std::u16string Utf16(std::string_view utf8) {
  const CZelString text = CZelString::FromUtf8(utf8);
  const unsigned short* units = text;
  return std::u16string(units, units + text.GetLength());
}

}  // namespace zel::procfs
