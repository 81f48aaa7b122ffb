// The names of a process's files in a /proc tree, and what their paths say.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// A path without the " (deleted)" that the kernel appends to the path of a
// file that has been removed.
inline std::string_view WithoutDeletedMark(std::string_view path) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
  return path;
}

// The last component of a path.
inline std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace zel::procfs
