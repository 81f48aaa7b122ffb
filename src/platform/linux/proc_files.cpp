#include "proc_files.h"

#include <sys/stat.h>

#include "windows_terms.h"

namespace zel::procfs {

ProcText LinkedPath(const ProcReader& reader, const std::string& path) {
  ProcText link = reader.ReadLink(path);
  const std::string_view unmarked = WithoutDeletedMark(link.text);
  struct stat ignored;
  if (link.ok() && unmarked.size() != link.text.size() && ::stat(link.text.c_str(), &ignored) != 0)
    link.text.resize(unmarked.size());
  return link;
}

}  // namespace zel::procfs
