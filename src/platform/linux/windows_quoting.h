// A process's arguments and environment in the forms that Windows keeps them.
#pragma once

#include <string>
#include <vector>

namespace zel::procfs {

// The arguments as one command line that CommandLineToArgvW splits back into
// the same arguments. The first is the program name, which that splitter
// takes literally up to the first blank, or between a leading quote and the
// next one: it is quoted only when empty, holding a blank or starting with a
// quote. The others follow the escaping rules: an argument that is empty or
// holds a blank or a quote is quoted; a quote inside is escaped with a
// backslash, and the backslashes before a quote or before the closing quote
// are doubled. A quoted program name cannot hold a quote, so its quotes are
// left out: that name alone comes back changed, and every later argument
// still splits back exactly.
std::string QuoteCommandLine(const std::vector<std::string>& arguments);

// The environment block, in UTF-8: each "NAME=value" followed by a NUL, and
// a final NUL ("A=b\0C=d\0\0"); an empty environment is two NULs. Empty
// strings, which would end the block early, are left out.
std::string EnvironmentBlock(const std::vector<std::string>& variables);

}  // namespace zel::procfs
