// How wide text is on a terminal, for tables that line up whatever script
// their names are in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelps {

// The columns that well-formed UTF-8 text takes: one a code point, two for
// the wide East Asian characters (CJK, Hangul, full-width forms, emoji),
// none for combining marks.
std::size_t DisplayWidth(std::string_view utf8);

// The longest start of `utf8` that fits in `columns`, cut between code points.
std::string_view ClipToWidth(std::string_view utf8, std::size_t columns);

}  // namespace zelps
