// Builders for the scripted system that the unit tests run the library on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/emulated/emulation.h"

namespace zel::test {

// A process with `threads` threads whose IDs are id*100+1, id*100+2, ...
inline emu::ProcessModel MakeProcess(std::uint32_t id, std::uint32_t parent, std::u16string name,
                                     int threads = 1) {
  emu::ProcessModel p;
  p.id = id;
  p.parentId = parent;
  p.name = std::move(name);
  p.createTime = 0x01D0000000000000ULL + id;
  for (int i = 0; i < threads; ++i) {
    emu::ThreadModel t;
    t.id = id * 100 + static_cast<std::uint32_t>(i) + 1;
    t.createTime = 0x01D1000000000000ULL + t.id;
    p.threads.push_back(t);
  }
  return p;
}

// A system of `count` processes named p<i>.exe with IDs 4, 8, 12, ...
inline std::vector<emu::ProcessModel> MakeProcesses(int count) {
  std::vector<emu::ProcessModel> list;
  for (int i = 0; i < count; ++i) {
    const auto id = static_cast<std::uint32_t>(4 * (i + 1));
    std::u16string name = u"p";
    for (char c : std::to_string(i)) name += static_cast<char16_t>(c);
    list.push_back(MakeProcess(id, i == 0 ? 0 : 4, name + u".exe"));
  }
  return list;
}

}  // namespace zel::test
