// The blocks that lead from a process's basic information to its strings and
// environment, as images of the bytes read out of the target, in either of
// the two kinds a process may keep.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "block_layouts.h"
#include "../source.h"
#include "windows_api.h"

namespace zel::windows {

using PebImage = std::array<std::byte, layout::kPebReadSize>;
using ParametersImage = std::array<std::byte, layout::kParametersReadSize>;

inline constexpr os::DWORD kReadAccess = os::kProcessQueryInformation | os::kProcessVmRead;

// Reads `size` bytes at `address` of the process; false unless all arrive.
inline bool ReadRemote(os::HANDLE process, std::uint64_t address, void* out, std::size_t size) {
  return os::ReadProcessMemory(process,
                               reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)),
                               out, size, nullptr) != 0;
}

// How many bytes lie from `address` to the end of the process's memory region
// that holds it (a run of pages alike in state and protection), whether or
// not they can be read: a read that would go past it cannot deliver all it
// asks for. Nothing, with the platform's last error, when the region cannot
// be queried.
inline std::optional<std::uint64_t> BytesToRegionEnd(os::HANDLE process, std::uint64_t address) {
  os::MEMORY_BASIC_INFORMATION region{};
  if (os::VirtualQueryEx(process,
                         reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)),
                         &region, sizeof region) == 0)
    return std::nullopt;
  return reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize - address;
}

// The blocks that the process's own code keeps up to date: a 64-bit
// process's, or a 32-bit process's 32-bit copies, whose 64-bit counterparts
// keep what it started with.
enum class BlockKind { Native, Wow64 };

// A counted string of either kind: its length in bytes and where its
// characters lie.
struct StringDescriptor {
  std::uint16_t length;
  std::uint64_t address;
};

inline std::uint64_t ParametersAddress(const PebImage& peb, BlockKind kind) {
  if (kind == BlockKind::Wow64)
    return layout::Load<std::uint32_t>(peb.data(), ZEL_OFFSET(PebPrefix32, ProcessParameters));
  return layout::Load<std::uint64_t>(peb.data(), ZEL_OFFSET(PebPrefix, ProcessParameters));
}

inline std::uint64_t EnvironmentAddress(const ParametersImage& parameters, BlockKind kind) {
  if (kind == BlockKind::Wow64)
    return layout::Load<std::uint32_t>(parameters.data(),
                                       ZEL_OFFSET(ProcessParameters32, Environment));
  return layout::Load<std::uint64_t>(parameters.data(), ZEL_OFFSET(ProcessParameters, Environment));
}

// The descriptor at `offset` of the parameters block, an offset of the
// block of that kind.
inline StringDescriptor DescriptorAt(const ParametersImage& parameters, std::size_t offset,
                                     BlockKind kind) {
  if (kind == BlockKind::Wow64) {
    const auto counted = layout::Load<layout::CountedString32>(parameters.data(), offset);
    return {counted.Length, counted.Buffer};
  }
  const auto counted = layout::Load<layout::CountedString>(parameters.data(), offset);
  return {counted.Length, counted.Buffer};
}

// The PEB that the process's own code keeps, and its kind; nonzero when read,
// else 0 with why recorded. It records what ReadPeb records: the question of
// the process's kind goes through the handle of the basic-information query,
// and its failure is that query's (its status recorded, nothing read).
int ReadOwnPeb(const source::Caller& caller, const source::Process& process, PebImage& peb,
               BlockKind& kind);

// The same through `live`, a handle on the process with kReadAccess that the
// caller holds: the queries' status, or the read's last error, is recorded
// when it fails.
int ReadOwnPeb(const source::Caller& caller, os::HANDLE live, PebImage& peb, BlockKind& kind);

}  // namespace zel::windows
