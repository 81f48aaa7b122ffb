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

// "<id>/task/<thread>/<file>": the process's file as one of its threads
// sees it.
inline std::string ThreadPathOf(std::uint32_t id, std::uint32_t thread, std::string_view file) {
  std::string path = PathOf(id, "task/");
  path += std::to_string(thread);
  path += '/';
  path += file;
  return path;
}

// Only these errors of a process's file mean that the process has gone;
// every other is a failure of its own.
inline bool MeansGone(int error) { return error == ENOENT || error == ESRCH; }
// The caller may not read the file: another user's process, as a rule.
inline bool MeansRefused(int error) { return error == EACCES || error == EPERM; }

// The target of a process's exe or cwd link. The kernel marks a path whose
// file has been removed with " (deleted)"; the mark is taken off only when no
// file of the marked name exists, so that a name that really ends so stays.
ProcText LinkedPath(const ProcReader& reader, const std::string& path);

}  // namespace zel::procfs
