// Splitting a copied environment block into its variables.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "ZelString.h"

namespace zelps {

struct EnvironmentVariables {
  std::vector<std::string> variables;  // each "NAME=value"
  // The copy ended before the block's closing empty string: there are more
  // variables than these, and the last one read may be cut.
  bool truncated = false;
};

// The NUL-separated UTF-16 strings of the block, up to its empty string or
// the end of the copy; a variable cut by the end of the copy is left out.
inline EnvironmentVariables SplitEnvironment(const unsigned char* block, std::size_t bytes) {
  std::vector<unsigned short> units(bytes / sizeof(unsigned short));
  std::memcpy(units.data(), block, units.size() * sizeof(unsigned short));
  EnvironmentVariables result;
  std::size_t start = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i] != 0) continue;
    if (i == start) return result;
    result.variables.push_back(CZelString(units.data() + start, i - start).ToUtf8());
    start = i + 1;
  }
  result.truncated = true;
  return result;
}

}  // namespace zelps
