#include "proc_maps.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

namespace zel::procfs {
namespace {

struct MapsLine {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  bool executable = false;
  std::string_view path;
};

bool Hex(std::string_view text, std::uint64_t& value) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return failure == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The next field of `line` up to a blank, which is taken off with it.
std::string_view Field(std::string_view& line) {
  const std::size_t blank = line.find(' ');
  const std::string_view field = line.substr(0, blank);
  line.remove_prefix(blank == std::string_view::npos ? line.size() : blank + 1);
  return field;
}

// "start-end perms offset dev inode   path": the path, which may hold blanks,
// runs from the first character after the blanks that pad the inode to the
// end of the line.
bool ParseLine(std::string_view line, MapsLine& parsed) {
  const std::string_view range = Field(line);
  const std::string_view perms = Field(line);
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos || !Hex(range.substr(0, dash), parsed.start) ||
      !Hex(range.substr(dash + 1), parsed.end) || parsed.end < parsed.start || perms.size() != 4)
    return false;
  parsed.executable = perms[2] == 'x';
  Field(line);                            // offset
  Field(line);                            // device
  if (Field(line).empty()) return false;  // inode
  const std::size_t path = line.find_first_not_of(' ');
  parsed.path = path == std::string_view::npos ? std::string_view() : line.substr(path);
  return true;
}

}  // namespace

std::vector<MappedFile> ExecutableFiles(std::string_view maps) {
  std::vector<MappedFile> files;
  std::vector<bool> executable;
  std::unordered_map<std::string_view, std::size_t> index;
  while (!maps.empty()) {
    const std::size_t newline = maps.find('\n');
    const std::string_view text = maps.substr(0, newline);
    maps.remove_prefix(newline == std::string_view::npos ? maps.size() : newline + 1);
    MapsLine line;
    if (!ParseLine(text, line) || !(line.path.starts_with('/') || line.path == kVdsoName)) continue;
    const auto [at, added] = index.try_emplace(line.path, files.size());
    if (added) {
      files.push_back({std::string(line.path), line.start, line.end});
      executable.push_back(line.executable);
      continue;
    }
    MappedFile& file = files[at->second];
    file.start = std::min(file.start, line.start);
    file.end = std::max(file.end, line.end);
    if (line.executable) executable[at->second] = true;
  }
  std::vector<MappedFile> kept;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (executable[i]) kept.push_back(std::move(files[i]));
  // The kernel lists the mappings by address already; a file mapped again
  // below its first mapping moves up.
  std::stable_sort(kept.begin(), kept.end(),
                   [](const MappedFile& a, const MappedFile& b) { return a.start < b.start; });
  return kept;
}

}  // namespace zel::procfs
