// The modules of a process as a source reads them and a module handle keeps
// them: the whole list, read once, so that a walk is consistent and moving a
// handle reads no process memory. Its bounds keep a corrupt or hostile list
// from taking unbounded time or memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel::source {

struct Module {
  std::u16string name;  // the file name
  std::u16string path;  // the full path
  std::uint64_t base = 0;
  std::uint64_t size = 0;
};

// At most this many modules, and this many UTF-16 units of names and paths
// together, are kept; a longer list is cut there.
inline constexpr std::size_t kMaxModules = 16384;
inline constexpr std::size_t kMaxModuleTextUnits = std::size_t{8} << 20;

class ModuleList {
 public:
  // Whether a module with `units` of name and path fits the bounds; when not,
  // the list is marked cut and nothing more may be added.
  bool Fits(std::size_t units) {
    if (!cut_ && modules_.size() < kMaxModules && units <= kMaxModuleTextUnits - textUnits_)
      return true;
    cut_ = true;
    return false;
  }
  // Adds a module that Fits() let in. Throws std::bad_alloc.
  void Add(Module module) {
    textUnits_ += module.name.size() + module.path.size();
    modules_.push_back(std::move(module));
  }
  // For a source that found more than the bounds let it read.
  void MarkCut() { cut_ = true; }
  void Clear() {
    modules_.clear();
    textUnits_ = 0;
    cut_ = false;
  }

  std::vector<Module>& Modules() { return modules_; }
  const std::vector<Module>& Modules() const { return modules_; }
  // Whether the process had more modules than the list holds.
  bool Cut() const { return cut_; }

 private:
  std::vector<Module> modules_;
  std::size_t textUnits_ = 0;
  bool cut_ = false;
};

}  // namespace zel::source
