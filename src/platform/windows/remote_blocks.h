// The blocks that lead from a process's basic information to its strings and
// environment, as images of the bytes read out of the target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "../layouts.h"
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

inline std::uint64_t ParametersAddress(const PebImage& peb) {
  return layout::Load<std::uint64_t>(peb.data(), ZEL_OFFSET(PebPrefix, ProcessParameters));
}

}  // namespace zel::windows
