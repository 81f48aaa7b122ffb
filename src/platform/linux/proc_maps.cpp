#include "proc_maps.h"

#include <algorithm>
#include <charconv>

#include "../module_list.h"

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

void ExecutableFileScan::Add(std::string_view text) {
  MapsLine line;
  if (!ParseLine(text, line) || !(line.path.starts_with('/') || line.path == kVdsoName)) return;
  if (const auto at = index_.find(line.path); at != index_.end()) {
    Seen& seen = seen_[at->second];
    seen.file.start = std::min(seen.file.start, line.start);
    seen.file.end = std::max(seen.file.end, line.end);
    seen.executable = seen.executable || line.executable;
    return;
  }
  if (seen_.size() >= source::kMaxModules ||
      line.path.size() > source::kMaxModuleTextUnits - pathBytes_) {
    cut_ = cut_ || line.executable;
    return;
  }
  seen_.push_back({{std::string(line.path), line.start, line.end}, line.executable});
  pathBytes_ += line.path.size();
  index_.emplace(seen_.back().file.path, seen_.size() - 1);
}

std::vector<MappedFile> ExecutableFileScan::Files() const {
  std::vector<MappedFile> kept;
  for (const Seen& seen : seen_)
    if (seen.executable) kept.push_back(seen.file);
  // The kernel lists the mappings by address already; a file mapped again
  // below its first mapping moves up.
  std::stable_sort(kept.begin(), kept.end(),
                   [](const MappedFile& a, const MappedFile& b) { return a.start < b.start; });
  return kept;
}

}  // namespace zel::procfs
