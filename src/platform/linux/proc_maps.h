// The modules that a process's maps file shows: the files it maps with
// execute permission, and the kernel's "[vdso]".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// Each file (a path that starts with '/', or "[vdso]") that the text of a
// maps file maps with execute permission at least once, in the order of
// their lowest start. Lines that are not maps lines are passed over.
std::vector<MappedFile> ExecutableFiles(std::string_view maps);

}  // namespace zel::procfs
