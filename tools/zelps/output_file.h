// Writing a listing to a file that readers only ever see whole, as
// node_exporter's textfile collector needs: the text goes to a temporary file
// beside it, which is then renamed over it.
#pragma once

#include <string>
#include <string_view>

namespace zelps {

// True when `path` now holds `text`; else `error` says why, `path` is as it
// was and no temporary file is left.
bool WriteFileWhole(const std::string& path, std::string_view text, std::string& error);

}  // namespace zelps
