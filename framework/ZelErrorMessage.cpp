#include "ZelErrorMessage.h"

#include <cinttypes>
#include <cstdio>

#include "error_texts.h"
#if defined(_WIN32)
#include "system_message.h"
#endif

namespace zel {
namespace {

std::string StatusText(ZelCode code) {
  char value[sizeof "0x00000000"];
  std::snprintf(value, sizeof value, "0x%08" PRIX32, code);
  std::string text = value;
  if (const std::string_view name = error_texts::Find(error_texts::kStatusNames, code);
      !name.empty()) {
    text += " (";
    text += name;
    text += ')';
  }
  return text;
}

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "zel"; }
  std::string message(int value) const override {
    return ErrorMessage(static_cast<ZelCode>(value));
  }
};

}  // namespace

std::string ErrorMessage(ZelCode code) {
  const ZelCode system_code = error_texts::Win32Code(code);
#if defined(_WIN32)
  if (std::string text = error_texts::SystemMessage(system_code); !text.empty()) return text;
#else
  if (!error_texts::IsNativeStatus(system_code)) {
    if (const std::string_view text = error_texts::Find(error_texts::kSystemTexts, system_code);
        !text.empty())
      return std::string(text);
  }
#endif
  if (error_texts::IsNativeStatus(code)) return StatusText(code);
  return "Unknown error " + std::to_string(code);
}

const std::error_category& error_category() noexcept {
  static const Category category;
  return category;
}

}  // namespace zel
