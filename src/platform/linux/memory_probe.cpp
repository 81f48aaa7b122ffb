// Whether the caller's memory can be written, asked of the kernel without
// touching it: a pipe takes bytes from the caller's memory and gives them
// back into it, and either copy fails with EFAULT where the memory does not
// allow it. That needs no call that a sandbox may refuse, such as
// one that reads another process's memory. Without a free descriptor for
// the pipe, the process copies its own memory through those calls instead,
// which fail the same way and need no descriptor.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "../source.h"

namespace zel::source {
namespace {

class ProbePipe {
 public:
  ProbePipe() : ok_(::pipe2(ends_, O_CLOEXEC | O_NONBLOCK) == 0) {}
  ~ProbePipe() {
    if (ok_) {
      ::close(ends_[0]);
      ::close(ends_[1]);
    }
  }
  ProbePipe(const ProbePipe&) = delete;
  ProbePipe& operator=(const ProbePipe&) = delete;

  bool ok() const { return ok_; }
  int Read() const { return ends_[0]; }
  int Write() const { return ends_[1]; }

 private:
  int ends_[2] = {-1, -1};
  bool ok_;
};

// Far below what a pipe holds, so that a chunk always goes in whole.
constexpr std::size_t kChunk = 4096;

// Copies `chunk` bytes at `at` out and back in: writing back the bytes just
// taken changes nothing, but fails on memory that may only be read.
bool ThroughPipe(const ProbePipe& pipe, char* at, std::size_t chunk) {
  if (::write(pipe.Write(), at, chunk) != static_cast<ssize_t>(chunk)) return false;
  return ::read(pipe.Read(), at, chunk) == static_cast<ssize_t>(chunk);
}

bool ThroughOwnMemory(char* at, std::size_t chunk) {
  char copy[kChunk];
  const iovec local{copy, chunk};
  const iovec remote{at, chunk};
  const pid_t self = ::getpid();
  return ::process_vm_readv(self, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(chunk) &&
         ::process_vm_writev(self, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(chunk);
}

}  // namespace

bool IsWritable(void* p, std::size_t size) {
  if (size == 0) return true;
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  if (p == nullptr || begin + size < begin) return false;
  const ProbePipe pipe;
  auto* at = static_cast<char*>(p);
  for (std::size_t left = size; left > 0;) {
    const std::size_t chunk = std::min(left, kChunk);
    if (pipe.ok() ? !ThroughPipe(pipe, at, chunk) : !ThroughOwnMemory(at, chunk)) return false;
    at += chunk;
    left -= chunk;
  }
  return true;
}

}  // namespace zel::source
