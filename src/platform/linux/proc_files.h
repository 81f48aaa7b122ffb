// Names of a process's files in a /proc tree, and what their errors mean.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "proc_reader.h"

namespace zel::procfs {

// "<id>/<file>", relative to the tree's root.
inline std::string PathOf(std::uint32_t id, std::string_view file) {
  std::string path = std::to_string(id);
  path += '/';
  path += file;
  return path;
}

inline bool MeansGone(int error) { return error == ENOENT || error == ESRCH; }

// The target of a process's exe or cwd link. The kernel marks a path whose
// file has been removed with " (deleted)"; the mark is taken off only when no
// file of the marked name exists, so that a name that really ends so stays.
ProcText LinkedPath(const ProcReader& reader, const std::string& path);

}  // namespace zel::procfs
