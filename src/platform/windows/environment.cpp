// Copies of a live process's environment block: its first bytes, or the
// whole block.
#include <algorithm>
#include <new>
#include <vector>

#include "../environment_copies.h"
#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {
namespace {

// The environment of a process opened for reading: where it lies and how
// many bytes its memory region holds from there.
struct Located {
  std::uint64_t address = 0;
  std::uint64_t inRegion = 0;
};

// Opens the process into `live` and follows its PEB and parameters to its
// environment; nothing, with why recorded and `live` closed, when it cannot.
std::optional<Located> LocateEnvironment(const Caller& caller, const Process& process,
                                         os::UniqueHandle& live) {
  live = os::UniqueHandle(windows::OpenSnapshotProcess(windows::kReadAccess, process));
  // The last error of the call that failed, taken before the handle closes.
  const auto fail = [&]() -> std::optional<Located> {
    const ZelCode error = os::GetLastError();
    live.Reset();
    caller.error.SetError(error);
    return std::nullopt;
  };
  if (!live) return fail();
  windows::PebImage peb;
  windows::BlockKind kind;
  if (!windows::ReadOwnPeb(caller, process, peb, kind)) {
    live.Reset();
    return std::nullopt;
  }
  windows::ParametersImage parameters;
  if (!windows::ReadRemote(live.Get(), windows::ParametersAddress(peb, kind), parameters.data(),
                           parameters.size()))
    return fail();
  const std::uint64_t address = windows::EnvironmentAddress(parameters, kind);
  const std::optional<std::uint64_t> in_region = windows::BytesToRegionEnd(live.Get(), address);
  if (!in_region) return fail();
  return Located{address, *in_region};
}

// Closes `live` and records `code`; no copy.
unsigned char* Refuse(const Caller& caller, os::UniqueHandle& live, ZelCode code) {
  live.Reset();
  caller.error.SetError(code);
  return nullptr;
}

}  // namespace

unsigned char* ReadEnvironment(const Caller& caller, const Process& process) {
  os::UniqueHandle live;
  const std::optional<Located> environment = LocateEnvironment(caller, process, live);
  if (!environment) return nullptr;
  EnvironmentBuffer buffer = NewEnvironmentBuffer();
  if (!buffer) return Refuse(caller, live, code::kOutOfMemory);
  // What the region holds, up to a copy's worth, then zeros: the block may
  // end close to the end of its region.
  const std::size_t size =
      std::min<std::uint64_t>(environment->inRegion, layout::kEnvironmentReadSize);
  if (!windows::ReadRemote(live.Get(), environment->address, buffer.get(), size))
    return Refuse(caller, live, os::GetLastError());
  std::fill(buffer.get() + size, buffer.get() + layout::kEnvironmentReadSize, 0);
  return buffer.release();
}

unsigned char* ReadEnvironmentBlock(const Caller& caller, const Process& process,
                                    std::size_t& size) {
  constexpr std::size_t kUnit = sizeof(unsigned short);
  os::UniqueHandle live;
  const std::optional<Located> environment = LocateEnvironment(caller, process, live);
  if (!environment) return nullptr;
  // The block is read in growing steps until its end shows, within its
  // region and the limit; a block that its region ends first is cut off.
  const std::size_t readable =
      std::min<std::uint64_t>(environment->inRegion, kEnvironmentBlockLimit) / kUnit;
  std::vector<unsigned short> units;
  std::optional<std::size_t> end;
  try {
    while (!end && units.size() < readable) {
      const std::size_t from = units.size();
      const std::size_t step = std::max(from, layout::kEnvironmentReadSize / kUnit);
      units.resize(std::min(readable, from + step));
      if (!windows::ReadRemote(live.Get(), environment->address + from * kUnit, units.data() + from,
                               (units.size() - from) * kUnit))
        return Refuse(caller, live, os::GetLastError());
      end = BlockEnd(units.data(), from, units.size());
    }
  } catch (const std::bad_alloc&) {
    return Refuse(caller, live, code::kOutOfMemory);
  }
  live.Reset();
  if (!end && readable < kEnvironmentBlockLimit / kUnit) {
    caller.error.SetError(code::kPartialCopy);
    return nullptr;
  }
  BlockCopy copy = CopyBlock(units.data(), units.size());
  if (!copy.buffer) {
    caller.error.SetError(code::kOutOfMemory);
    return nullptr;
  }
  caller.error.SetError(copy.cut ? code::kMoreData : code::kSuccess);
  size = copy.size;
  return copy.buffer.release();
}

}  // namespace zel::source
