// Writing JSON text: strings with their escapes, and objects built a member
// at a time.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace zelps {

// Appends `text`, well-formed UTF-8, as a JSON string: quotes, backslashes
// and control characters escaped (the controls as \u00XX, one form for all
// of them), everything else as it is, non-ASCII characters in UTF-8.
inline void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

inline std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

// One JSON object, its members in the order they are added; names are
// taken as they are, so they must need no escape.
class JsonObject {
 public:
  JsonObject& String(std::string_view name, std::string_view value) {
    AppendJsonString(Member(name), value);
    return *this;
  }
  JsonObject& StringOrNull(std::string_view name, const std::optional<std::string>& value) {
    return value ? String(name, *value) : Raw(name, "null");
  }
  JsonObject& Number(std::string_view name, std::int64_t value) {
    return Raw(name, std::to_string(value));
  }
  template <typename T>
  JsonObject& NumberOrNull(std::string_view name, const std::optional<T>& value) {
    return value ? Number(name, std::int64_t(*value)) : Raw(name, "null");
  }
  JsonObject& Real(std::string_view name, double value) {
    char text[64];
    return Raw(name, std::string_view(text, std::to_chars(text, text + sizeof text, value).ptr));
  }
  JsonObject& RealOrNull(std::string_view name, const std::optional<double>& value) {
    return value ? Real(name, *value) : Raw(name, "null");
  }
  // A value that is already JSON text: an array or object built elsewhere.
  JsonObject& Raw(std::string_view name, std::string_view json) {
    Member(name) += json;
    return *this;
  }
  std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string& Member(std::string_view name) {
    text_ += text_.empty() ? '{' : ',';
    text_ += '"';
    text_ += name;
    text_ += "\":";
    return text_;
  }

  std::string text_;
};

}  // namespace zelps
