// Reads the files, links and directories of a /proc tree, nothing more: what
// they mean is the parsers' business. Every path is relative to the root, so
// a test can point a reader at a tree of its own with the same layout.
#pragma once

#include <linux/ioctl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::procfs {

// What a pidfd's information (PIDFD_GET_INFO) holds: its first version,
// which every kernel that has the query answers.
struct PidfdInfo {
  std::uint64_t mask;
  std::uint64_t cgroupid;
  std::uint32_t pid;
  std::uint32_t tgid;
  std::uint32_t ppid;
  std::uint32_t ruid;
  std::uint32_t rgid;
  std::uint32_t euid;
  std::uint32_t egid;
  std::uint32_t suid;
  std::uint32_t sgid;
  std::uint32_t fsuid;
  std::uint32_t fsgid;
  std::uint32_t spare0;
};
static_assert(offsetof(PidfdInfo, mask) == 0);
static_assert(offsetof(PidfdInfo, pid) == 16);
static_assert(offsetof(PidfdInfo, ruid) == 28);
static_assert(sizeof(PidfdInfo) == 64);
inline constexpr std::uint64_t kPidfdInfoCredentials = 1 << 1;
// The request on a pidfd (the pidfs ioctl type, 0xFF, number 11).
inline constexpr unsigned long kPidfdGetInfo = _IOWR(0xFF, 11, PidfdInfo);

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
  // The lines of a file that the kernel hands out a page of records at a
  // time (maps), where a read that does not fill its buffer need not be the
  // last: read until one gives nothing. Each line goes to `line`, without
  // its newline, as soon as it is whole, so that a file of any length takes
  // one line's memory; a line longer than kMaxRecordLine is passed over.
  // The errno of a failed open or read, after the lines read before it.
  using LineSink = std::function<void(std::string_view)>;
  static constexpr std::size_t kMaxRecordLine = std::size_t{64} << 10;
  virtual int ReadRecords(const std::string& path, const LineSink& line) const;
  virtual ProcListing List(const std::string& path) const;

  // The real user ID of the live process `id` from the kernel's own record
  // of it (a pidfd's information, Linux 6.13 on), for which no file is
  // generated; null where that cannot be had: an older kernel, a tree other
  // than the machine's own, a process that has gone, no free descriptor.
  // The process read is the one that had the ID when it was asked.
  std::optional<std::uint32_t> RealUidOf(std::uint32_t id) const;

 protected:
  std::string FullPath(const std::string& path) const;

 private:
  static constexpr std::size_t kChunk = 4096;
  // read() of up to kChunk bytes, again where a signal broke it off.
  static ssize_t ReadChunk(int fd, char* buffer);

  std::string root_;
};

}  // namespace zel::procfs
