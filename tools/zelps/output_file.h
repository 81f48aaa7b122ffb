// Writing a listing to a file. A regular file is one that readers only ever
// see whole, as node_exporter's textfile collector needs: the text goes to a
// temporary file beside it, which is then renamed over it. Anything else is
// written into, as a shell's redirection would.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zelps {

// True when `path` now holds `text`; else `error` names `path` and says why,
// what `path` named is as it was and no temporary file is left. A symlink is
// followed and stays; a regular file is replaced whole, keeping its mode
// and, where the caller may, its owner and group (a new one gets the
// caller's umask); a FIFO, a device, and a file that a descriptor's link
// names (/proc/self/fd/1) are written into, as by a shell's >; a directory
// or a socket is an error.
bool WriteFileWhole(const std::string& path, std::string_view text, std::string& error);

// What zelps could not write: it exits with 2 then, as for bad usage.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace zelps
