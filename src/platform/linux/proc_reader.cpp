#include "proc_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <utility>

namespace zel::procfs {
namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

struct CloseDir {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, CloseDir>;

}  // namespace

ProcReader::ProcReader(std::string root) : root_(std::move(root)) {}

std::string ProcReader::FullPath(const std::string& path) const {
  return path.empty() ? root_ : root_ + "/" + path;
}

// Files under /proc report a size of 0, so they are read until end of file.
// Most of them hand out all they have left in one read that they do not
// fill, which therefore ends the file without another call.
int ProcReader::Read(const std::string& path, std::string& text) const {
  text.clear();
  const UniqueFd fd(::open(FullPath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  // Read aside and appended: growing the text by a chunk would first fill
  // the chunk with zeros, more bytes than most of these files have. A chunk
  // is reserved all the same, so that a text kept for the next read has
  // room for the next file at once.
  text.reserve(kChunk);
  char chunk[kChunk];
  for (;;) {
    const ssize_t got = ReadChunk(fd.get(), chunk);
    if (got < 0) {
      const int error = errno;
      text.clear();
      return error;
    }
    text.append(chunk, static_cast<std::size_t>(got));
    if (static_cast<std::size_t>(got) < kChunk) return 0;
  }
}

int ProcReader::ReadRecords(const std::string& path, const LineSink& line) const {
  const UniqueFd fd(::open(FullPath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  std::string pending;   // the start of a line that the next chunk ends
  bool tooLong = false;  // the pending line is past the bound: passed over
  char chunk[kChunk];
  for (;;) {
    const ssize_t got = ReadChunk(fd.get(), chunk);
    if (got < 0) return errno;
    pending.append(chunk, static_cast<std::size_t>(got));
    std::string_view rest(pending);
    for (std::size_t newline; (newline = rest.find('\n')) != std::string_view::npos;) {
      if (!tooLong) line(rest.substr(0, newline));
      tooLong = false;
      rest.remove_prefix(newline + 1);
    }
    if (got == 0) {
      if (!rest.empty() && !tooLong) line(rest);
      return 0;
    }
    if (rest.size() > kMaxRecordLine) {
      tooLong = true;
      rest = {};
    }
    pending.erase(0, pending.size() - rest.size());
  }
}

ssize_t ProcReader::ReadChunk(int fd, char* buffer) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer, kChunk);
    if (got >= 0 || errno != EINTR) return got;
  }
}

ProcText ProcReader::ReadLink(const std::string& path) const {
  ProcText result;
  const std::string full = FullPath(path);
  std::string target(256, '\0');
  for (;;) {
    const ssize_t got = ::readlink(full.c_str(), target.data(), target.size());
    if (got < 0) {
      result.error = errno;
      return result;
    }
    // A target that fills the buffer may have been cut: try a larger one.
    if (static_cast<std::size_t>(got) < target.size()) {
      target.resize(static_cast<std::size_t>(got));
      result.text = std::move(target);
      return result;
    }
    target.resize(target.size() * 2);
  }
}

std::optional<std::uint32_t> ProcReader::RealUidOf(std::uint32_t id) const {
  // Only the machine's own tree names the processes that a pidfd can hold.
  if (root_ != "/proc") return std::nullopt;
#ifdef SYS_pidfd_open
  // A kernel without the call (before 5.3) or the request (before 6.13)
  // answers the same for every process: it is asked once.
  static std::atomic<bool> unsupported{false};
  if (unsupported.load(std::memory_order_relaxed)) return std::nullopt;
  const UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0)));
  if (pidfd.get() < 0) {
    if (errno == ENOSYS) unsupported.store(true, std::memory_order_relaxed);
    return std::nullopt;
  }
  PidfdInfo info{};
  info.mask = kPidfdInfoCredentials;
  if (::ioctl(pidfd.get(), kPidfdGetInfo, &info) != 0) {
    if (errno == ENOTTY || errno == EINVAL) unsupported.store(true, std::memory_order_relaxed);
    return std::nullopt;
  }
  if ((info.mask & kPidfdInfoCredentials) == 0) return std::nullopt;
  return info.ruid;
#else
  static_cast<void>(id);
  return std::nullopt;
#endif
}

ProcListing ProcReader::List(const std::string& path) const {
  ProcListing result;
  const UniqueDir dir(::opendir(FullPath(path).c_str()));
  if (!dir) {
    result.error = errno;
    return result;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      if (errno != 0) {
        result.error = errno;
        result.names.clear();
      }
      break;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") result.names.emplace_back(name);
  }
  return result;
}

}  // namespace zel::procfs
