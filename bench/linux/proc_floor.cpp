// zel_proc_floor: the floor under the library's Linux jobs, the reads that
// each job needs and nothing else: no parsing beyond what picks the next
// file, no records, no strings, no library.
//
//   facts    for each process of /proc: stat, status and io, and each
//            thread's stat when status counts more than one thread (the
//            snapshot's own shortcut);
//   strings  for each process: cmdline, environ, the exe and cwd links and
//            status, each followed by a read of stat, the check that the
//            process read is still the one the walk stands on;
//   listing  what `zelps -o pid,ppid,threads,pri,user,name,cmd` needs: the
//            facts' reads, then the owner's user ID from the kernel's record
//            of the process (a pidfd's information, as the library asks it)
//            and cmdline, each followed by the read of stat.
//
//   zel_proc_floor --serve   times one run for each line "facts",
//                            "strings" or "listing" read from stdin and prints
//                            "<microseconds> <processes>", as
//                            zel_facts_timing --serve does, so that
//                            psutil_compare.py can put the library's cost
//                            over its floor in the same rounds.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "../../src/platform/linux/proc_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

char g_buffer[1 << 16];
unsigned long long g_checksum = 0;

// Reads the whole file into the buffer; its length, or 0.
std::size_t ReadFile(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t total = 0;
  for (ssize_t got; (got = ::read(fd, g_buffer + total, sizeof g_buffer - total)) > 0;) {
    total += static_cast<std::size_t>(got);
    if (total == sizeof g_buffer) total = 0;  // a long environment: keep reading
  }
  ::close(fd);
  g_checksum += total;
  return total;
}

void ReadLink(const char* path) {
  const ssize_t got = ::readlink(path, g_buffer, sizeof g_buffer);
  if (got > 0) g_checksum += static_cast<unsigned long long>(got);
}

// The count of the "Threads:" line of a status text.
unsigned ThreadsOf(std::size_t length) {
  const std::string_view text(g_buffer, length);
  const std::size_t at = text.find("\nThreads:");
  return at == std::string_view::npos ? 1 : static_cast<unsigned>(std::atoi(g_buffer + at + 9));
}

template <class PerProcess>
unsigned EachProcess(PerProcess per_process) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  unsigned count = 0;
  while (const dirent* entry = ::readdir(proc)) {
    const char* name = entry->d_name;
    if (name[0] < '0' || name[0] > '9') continue;
    per_process(name);
    ++count;
  }
  ::closedir(proc);
  return count;
}

void Facts(const char* id) {
  char path[640];
  std::snprintf(path, sizeof path, "/proc/%s/stat", id);
  ReadFile(path);
  std::snprintf(path, sizeof path, "/proc/%s/status", id);
  const unsigned threads = ThreadsOf(ReadFile(path));
  std::snprintf(path, sizeof path, "/proc/%s/io", id);
  ReadFile(path);
  if (threads <= 1) return;
  std::snprintf(path, sizeof path, "/proc/%s/task", id);
  DIR* tasks = ::opendir(path);
  if (!tasks) return;
  while (const dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::snprintf(path, sizeof path, "/proc/%s/task/%s/stat", id, entry->d_name);
    ReadFile(path);
  }
  ::closedir(tasks);
}

void Strings(const char* id) {
  char path[640], stat[640];
  std::snprintf(stat, sizeof stat, "/proc/%s/stat", id);
  for (const char* file : {"cmdline", "environ", "status"}) {
    std::snprintf(path, sizeof path, "/proc/%s/%s", id, file);
    ReadFile(path);
    ReadFile(stat);
  }
  for (const char* link : {"exe", "cwd"}) {
    std::snprintf(path, sizeof path, "/proc/%s/%s", id, link);
    ReadLink(path);
    ReadFile(stat);
  }
}

// The pidfd information request (PIDFD_GET_INFO) for the credentials, into
// the 64 bytes of its first version.
void OwnerOf(const char* id) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, std::atoi(id), 0));
  if (pidfd < 0) return;
  zel::procfs::PidfdInfo info{};
  info.mask = zel::procfs::kPidfdInfoCredentials;
  if (::ioctl(pidfd, zel::procfs::kPidfdGetInfo, &info) == 0) g_checksum += info.ruid;
  ::close(pidfd);
}

void Listing(const char* id) {
  Facts(id);
  char path[640], stat[640];
  std::snprintf(stat, sizeof stat, "/proc/%s/stat", id);
  OwnerOf(id);
  ReadFile(stat);
  std::snprintf(path, sizeof path, "/proc/%s/cmdline", id);
  ReadFile(path);
  ReadFile(stat);
}

int Serve() {
  std::string line;
  while (std::getline(std::cin, line)) {
    const auto start = Clock::now();
    unsigned count = 0;
    if (line == "facts") {
      count = EachProcess(Facts);
    } else if (line == "strings") {
      count = EachProcess(Strings);
    } else if (line == "listing") {
      count = EachProcess(Listing);
    } else {
      std::fprintf(stderr, "zel_proc_floor: unknown request \"%s\"\n", line.c_str());
      return 2;
    }
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    std::printf("%.3f %u\n", elapsed.count(), count);
    std::fflush(stdout);
  }
  return g_checksum == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--serve") != 0) {
    std::fputs("usage: zel_proc_floor --serve\n", stderr);
    return 2;
  }
  return Serve();
}
