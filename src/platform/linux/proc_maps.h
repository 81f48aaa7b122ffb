// The modules that a process's maps file shows: the files it maps with
// execute permission, and the kernel's "[vdso]".
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zel::procfs {

// A file of the process's mappings, once, with the lowest start and the
// highest end of all its mappings (not only the executable ones).
struct MappedFile {
  std::string path;  // as maps writes it, the kernel's " (deleted)" included
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// The name under which maps lists the kernel's shared object, the one
// module that is no file; the other bracketed names ([heap], [stack],
// [vsyscall], ...) are no modules.
inline constexpr std::string_view kVdsoName = "[vdso]";

// Each file (a path that starts with '/', or "[vdso]") that a maps file maps
// with execute permission at least once, gathered a line at a time. Lines
// that are not maps lines are passed over. At most as many files, and as
// many bytes of paths, are held as a module list keeps (mapped only or
// executable alike, since a file's first mapping is seldom its executable
// one), so that a process with more mappings than that takes no more
// memory: a file past the bounds is left out, and where it is executable
// the scan is cut.
class ExecutableFileScan {
 public:
  ExecutableFileScan() = default;
  // Not copied: the index holds views of the paths.
  ExecutableFileScan(const ExecutableFileScan&) = delete;
  ExecutableFileScan& operator=(const ExecutableFileScan&) = delete;
  ExecutableFileScan(ExecutableFileScan&&) = default;
  ExecutableFileScan& operator=(ExecutableFileScan&&) = default;

  void Add(std::string_view line);
  // The executable files, in the order of their lowest start.
  std::vector<MappedFile> Files() const;
  // Whether an executable file was left out.
  bool Cut() const { return cut_; }

 private:
  struct Seen {
    MappedFile file;
    bool executable = false;
  };
  // A deque, so that the index's views of the paths stay where they are.
  std::deque<Seen> seen_;
  std::unordered_map<std::string_view, std::size_t> index_;
  std::size_t pathBytes_ = 0;
  bool cut_ = false;
};

}  // namespace zel::procfs
