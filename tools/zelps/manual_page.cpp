// Writes zelps(1) to standard output, for the build to install.
#include <cstdio>

#include "usage.h"

int main() {
  const std::string page = zelps::ManualPage(ZELPS_VERSION);
  return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0 : 1;
}
