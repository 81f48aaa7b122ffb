// Comma-separated values as tasklist /FO CSV writes them: every field quoted,
// quotes doubled (RFC 4180), records ended by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelps {

inline void AppendCsvField(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

inline std::string CsvRecord(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    AppendCsvField(out, fields[i]);
  }
  return out + "\r\n";
}

}  // namespace zelps
