// A process's arguments and environment in the forms that Windows keeps them.
#pragma once

#include <string>
#include <vector>

namespace zel::emu::proc {

// The arguments as one command line that CommandLineToArgvW splits back into
// the same arguments. The first is the program name, which that splitter
// takes literally up to the first blank, or between a leading quote and the
// next one: it is quoted only when empty or holding a blank. The others
// follow the escaping rules: an argument that is empty or holds a blank or a
// quote is quoted; a quote inside is escaped with a backslash, and the
// backslashes before a quote or before the closing quote are doubled. (A
// program name that holds both a blank and a quote, or starts with a quote,
// has no spelling that splits back; it is escaped like the other arguments.)
std::string QuoteCommandLine(const std::vector<std::string>& arguments);

// The environment block: each "NAME=value" followed by a NUL, and a final NUL
// ("A=b\0C=d\0\0"); an empty environment is two NULs. Empty strings, which
// would end the block early, are left out.
std::u16string EnvironmentBlock(const std::vector<std::string>& variables);

}  // namespace zel::emu::proc
