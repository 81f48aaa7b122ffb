// Whether the caller's memory can be read or written, asked of the kernel
// without touching it: a pipe takes bytes from the caller's memory and gives
// them back into it, and either copy fails with EFAULT where the memory
// does not allow it. A probe makes no other call, so it also works where a
// sandbox refuses the calls that read another process's memory.
#include <fcntl.h>
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

bool Probe(void* p, std::size_t size, bool write_back) {
  if (size == 0) return true;
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  if (p == nullptr || begin + size < begin) return false;
  const ProbePipe pipe;
  if (!pipe.ok()) return false;
  auto* at = static_cast<char*>(p);
  for (std::size_t left = size; left > 0;) {
    const std::size_t chunk = std::min(left, kChunk);
    if (::write(pipe.Write(), at, chunk) != static_cast<ssize_t>(chunk)) return false;
    // Writing back the bytes just taken changes nothing, but fails on memory
    // that may only be read.
    if (write_back) {
      if (::read(pipe.Read(), at, chunk) != static_cast<ssize_t>(chunk)) return false;
    } else {
      char drain[kChunk];
      if (::read(pipe.Read(), drain, chunk) != static_cast<ssize_t>(chunk)) return false;
    }
    at += chunk;
    left -= chunk;
  }
  return true;
}

}  // namespace

bool IsWritable(void* p, std::size_t size) { return Probe(p, size, true); }

}  // namespace zel::source
