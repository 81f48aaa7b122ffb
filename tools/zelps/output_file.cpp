#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace zelps {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr int kBinary = O_BINARY;
int ProcessId() { return _getpid(); }

// Windows' device names, which stat() does not find: NUL, CON, COM1, ... in
// any folder and with any extension, and \\.\ paths.
bool IsDevice(const fs::path& path) {
  if (path.string().starts_with("\\\\.\\")) return true;
  std::string name = path.filename().string();
  name = name.substr(0, name.find('.'));
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (name == "NUL" || name == "CON" || name == "PRN" || name == "AUX" || name == "CONOUT$")
    return true;
  return name.size() == 4 && (name.starts_with("COM") || name.starts_with("LPT")) &&
         name[3] >= '1' && name[3] <= '9';
}
#else
constexpr int kBinary = 0;
int ProcessId() { return getpid(); }
bool IsDevice(const fs::path&) { return false; }
#endif

// A file descriptor closed on every path.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes it, with close's answer: a write may fail only there.
  bool Close() { return close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const auto written = write(fd, text.data(), static_cast<unsigned>(text.size()));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

#ifdef __linux__
// The links that procfs makes (/proc/PID/fd/N, which /dev/stdout leads to)
// name an open file, not a path: their text may be "pipe:[N]", or the name
// of a file that has been renamed since.
bool OnProcfs(const fs::path& directory) {
  struct statfs info {};
  return statfs(directory.empty() ? "." : directory.c_str(), &info) == 0 &&
         info.f_type == PROC_SUPER_MAGIC;
}
#else
bool OnProcfs(const fs::path&) { return false; }
#endif

// What `path` names once every symlink on the way is followed as text: the
// link stays, and what it points to is written. A link to nothing names the
// file that the write creates, as a shell's redirection does. None where a
// link's text is not a path (procfs' links).
std::optional<fs::path> FollowLinks(fs::path path, std::error_code& code) {
  for (int links = 0; links < 40; ++links) {
    // Where the link cannot be looked at, stat() says why (or, on Windows,
    // that a device name such as NUL is a device).
    const fs::file_status status = fs::symlink_status(path, code);
    if (code || status.type() != fs::file_type::symlink) {
      code.clear();
      return path;
    }
    if (OnProcfs(path.parent_path())) return std::nullopt;
    const fs::path target = fs::read_symlink(path, code);
    if (code) return path;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  code = std::make_error_code(std::errc::too_many_symbolic_link_levels);
  return path;
}

// Writes straight into `path`, as a shell's > does: what is no regular file
// (a FIFO, a device) cannot be replaced, nor a file known only by an open
// descriptor.
bool WriteInto(const fs::path& path, std::string_view text, std::string& reason) {
  Descriptor file(open(path.string().c_str(), O_WRONLY | O_TRUNC | kBinary));
  if (!file || !WriteAll(file.Get(), text) || !file.Close()) {
    reason = std::strerror(errno);
    return false;
  }
  return true;
}

// The text goes to a temporary file beside `path`, which then replaces it:
// an existing file's mode and, where the caller may set them, its owner and
// group are kept; a new file gets the caller's umask.
bool Replace(const fs::path& path, const struct stat* existing, std::string_view text,
             std::string& reason) {
  // Named apart from what a collector reads (*.prom) and from other writers.
  const fs::path temporary = path.string() + ".tmp" + std::to_string(ProcessId());
  Descriptor file(open(temporary.string().c_str(), O_WRONLY | O_CREAT | O_EXCL | kBinary, 0666));
  if (!file) {
    reason = "cannot create " + temporary.string() + ": " + std::strerror(errno);
    return false;
  }
  bool kept = true;
#ifndef _WIN32
  if (existing != nullptr) {
    // Only root may give a file away; anyone may keep a group of theirs.
    // The owner first: a chown clears the setuid and setgid bits.
    if (fchown(file.Get(), existing->st_uid, existing->st_gid) != 0)
      (void)fchown(file.Get(), static_cast<uid_t>(-1), existing->st_gid);
    kept = fchmod(file.Get(), existing->st_mode & 07777) == 0;
  }
#else
  (void)existing;
#endif
  const bool written = kept && WriteAll(file.Get(), text) && file.Close();
  std::error_code code;
  if (!written) {
    reason = std::strerror(errno);
  } else if (fs::rename(temporary, path, code); code) {
    reason = code.message();
  } else {
    return true;
  }
  fs::remove(temporary, code);
  return false;
}

// The kernel decides what `path` is, through every link (procfs' too), as
// for a shell's >; the links' text only finds the file to replace.
bool Write(const fs::path& path, std::string_view text, std::string& reason) {
  if (IsDevice(path)) return WriteInto(path, text, reason);
  struct stat given {};
  const bool exists = stat(path.string().c_str(), &given) == 0;
  if (!exists && errno != ENOENT) {
    reason = std::strerror(errno);
    return false;
  }
  if (exists && S_ISDIR(given.st_mode)) {
    reason = std::strerror(EISDIR);
    return false;
  }
  if (exists && !S_ISREG(given.st_mode)) return WriteInto(path, text, reason);
  std::error_code code;
  const auto target = FollowLinks(path, code);
  if (code) {
    reason = code.message();
    return false;
  }
  // A new file, or one that a link to nothing names, is created.
  if (!exists)
    return target ? Replace(*target, nullptr, text, reason) : WriteInto(path, text, reason);
  // Where the text leads elsewhere than the kernel went, the file is
  // written into.
  struct stat found {};
  if (!target || stat(target->string().c_str(), &found) != 0 || found.st_dev != given.st_dev ||
      found.st_ino != given.st_ino)
    return WriteInto(path, text, reason);
  return Replace(*target, &given, text, reason);
}

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view text, std::string& error) {
  std::string reason;
  if (Write(path, text, reason)) return true;
  error = "cannot write " + path + ": " + reason;
  return false;
}

}  // namespace zelps
