// What zelps says about itself, built from its tables of options, columns
// and formats: the text of --help.
#pragma once

#include <string>

namespace zelps {

std::string HelpText();

}  // namespace zelps
