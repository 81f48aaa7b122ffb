// The Linux source's probe of the caller's output records: it makes no call
// that a sandbox may refuse, such as one that reads another process's memory.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "ZelProcess.h"
#include "support/linux/forked_check.h"
#include "platform/snapshot_records.h"
#include "snapshot/handle_record.h"
#include "platform/source.h"

namespace {

using zel::source::IsWritable;

TEST(MemoryProbe, TellsUnmappedReadOnlyAndWritablePages) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  auto* p = static_cast<unsigned char*>(
      mmap(nullptr, 2 * page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(p, MAP_FAILED);
  munmap(p + page, page);
  EXPECT_FALSE(IsWritable(p, 1));
  mprotect(p, page, PROT_READ | PROT_WRITE);
  p[7] = 0xA5;
  EXPECT_TRUE(IsWritable(p, page));
  EXPECT_EQ(p[7], 0xA5);
  EXPECT_FALSE(IsWritable(p + page - 8, 16));
  EXPECT_FALSE(IsWritable(nullptr, 4));
  munmap(p, page);
}

// In a child that denies itself process_vm_readv, as a container's seccomp
// profile may: handles and output records are still checked.
int CheckUnderFilterDenyingRemoteReads() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_process_vm_readv, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return 10;
  if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) return 11;
  char byte = 0;
  iovec local{&byte, 1}, remote{&byte, 1};
  if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != -1 || errno != EPERM) return 12;

  CZelProcess p;
  void* own = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
  if (p.IsProcessHandle(own) != 1 || p.GetProcessID(own) != static_cast<unsigned>(getpid()))
    return 13;
  zel::layout::ZELFIND_RECORD foreign{};
  foreign.cbSize = zel::layout::kFindRecordSize;
  foreign.bKind = zel::layout::ZELFIND_THREAD;
  if (p.IsProcessHandle(&foreign) != 0 || p.GetErrorCode() != 6) return 14;
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* unmapped = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p.IsProcessHandle(unmapped) != 0 || p.GetErrorCode() != 6) return 15;
  return p.CloseHandle(own) == 1 ? 0 : 16;
}

TEST(MemoryProbe, WorksWhereRemoteReadsAreDenied) {
  zel::test::ExpectForkedCheckPasses(CheckUnderFilterDenyingRemoteReads);
}

}  // namespace
