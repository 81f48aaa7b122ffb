#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace zelps {
namespace {

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return getpid();
#endif
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view text, std::string& error) {
  // Named apart from what a collector reads (*.prom) and from other writers.
  const std::string temporary = path + ".tmp" + std::to_string(ProcessId());
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temporary.c_str(), "wb"));
  if (!file) {
    error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  const int saved = errno;
  const bool closed = std::fclose(file.release()) == 0;
  std::error_code code;
  if (!written || !closed) {
    error = "cannot write " + temporary + ": " + std::strerror(written ? errno : saved);
  } else if (std::filesystem::rename(temporary, path, code); code) {
    error = "cannot replace " + path + ": " + code.message();
  } else {
    return true;
  }
  std::filesystem::remove(temporary, code);
  return false;
}

}  // namespace zelps
