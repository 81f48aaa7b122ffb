// What zelps says about itself, built from its tables of options, columns
// and formats: the text of --help, and its manual page.
#pragma once

#include <string>
#include <string_view>

namespace zelps {

std::string HelpText();

// zelps(1) in roff, as man reads it.
std::string ManualPage(std::string_view version);

}  // namespace zelps
