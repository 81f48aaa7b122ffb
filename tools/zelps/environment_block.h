// Splitting a copied environment block into its variables.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "ZelString.h"

namespace zelps {

inline constexpr std::size_t kEnvironmentBytes = 4096;

// The NUL-separated UTF-16 strings of the block, up to its empty string or its
// end; a variable cut by the end of the copy is left out.
inline std::vector<std::string> EnvironmentVariables(const unsigned char* block, std::size_t bytes) {
  std::vector<unsigned short> units(bytes / sizeof(unsigned short));
  std::memcpy(units.data(), block, units.size() * sizeof(unsigned short));
  std::vector<std::string> variables;
  std::size_t start = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i] != 0) continue;
    if (i == start) break;
    variables.push_back(CZelString(units.data() + start, i - start).ToUtf8());
    start = i + 1;
  }
  return variables;
}

}  // namespace zelps
