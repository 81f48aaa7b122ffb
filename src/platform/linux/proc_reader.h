// Reads the files, links and directories of a /proc tree, nothing more: what
// they mean is the parsers' business. Every path is relative to the root, so
// a test can point a reader at a tree of its own with the same layout.
#pragma once

#include <string>
#include <vector>

namespace zel::procfs {

// The content of a file or the target of a link, or the errno why not.
struct ProcText {
  std::string text;
  int error = 0;
  bool ok() const { return error == 0; }
};

// The entry names of a directory ("." and ".." left out), or the errno why not.
struct ProcListing {
  std::vector<std::string> names;
  int error = 0;
  bool ok() const { return error == 0; }
};

class ProcReader {
 public:
  explicit ProcReader(std::string root = "/proc");
  virtual ~ProcReader() = default;

  const std::string& Root() const { return root_; }

  // Virtual so that a test can make a read fail the way a live system does
  // (EACCES as another user, ESRCH once the process has gone).
  // The whole file into `text`, reusing its storage; the errno why not, with
  // `text` empty.
  virtual int Read(const std::string& path, std::string& text) const;
  ProcText ReadFile(const std::string& path) const {
    ProcText result;
    result.error = Read(path, result.text);
    return result;
  }
  virtual ProcText ReadLink(const std::string& path) const;
  // The whole of a file that the kernel hands out a page of records at a
  // time (maps), where a read that does not fill its buffer need not be the
  // last: read until one gives nothing. As Read() otherwise.
  virtual int ReadRecords(const std::string& path, std::string& text) const;
  virtual ProcListing List(const std::string& path) const;

 protected:
  std::string FullPath(const std::string& path) const;

 private:
  int ReadWhole(const std::string& path, std::string& text, bool shortReadEnds) const;

  std::string root_;
};

}  // namespace zel::procfs
