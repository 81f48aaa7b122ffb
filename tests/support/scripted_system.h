// Builders for the scripted system that the unit tests run the library on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fake_windows/fake_system.h"

namespace zel::test {

// A process with `threads` threads whose IDs are id*100+1, id*100+2, ...
inline fake::ProcessModel MakeProcess(std::uint32_t id, std::uint32_t parent, std::u16string name,
                                      int threads = 1) {
  fake::ProcessModel p;
  p.id = id;
  p.parentId = parent;
  p.name = std::move(name);
  p.createTime = 0x01D0000000000000ULL + id;
  for (int i = 0; i < threads; ++i) {
    fake::ThreadModel t;
    t.id = id * 100 + static_cast<std::uint32_t>(i) + 1;
    t.createTime = 0x01D1000000000000ULL + t.id;
    p.threads.push_back(t);
  }
  return p;
}

// A system of `count` processes named p<i>.exe with IDs 4, 8, 12, ...
inline std::vector<fake::ProcessModel> MakeProcesses(int count) {
  std::vector<fake::ProcessModel> list;
  for (int i = 0; i < count; ++i) {
    const auto id = static_cast<std::uint32_t>(4 * (i + 1));
    std::u16string name = u"p";
    for (char c : std::to_string(i)) name += static_cast<char16_t>(c);
    list.push_back(MakeProcess(id, i == 0 ? 0 : 4, name + u".exe"));
  }
  return list;
}

// The account that owns a target, as the system names it.
inline const fake::AccountModel kTargetOwner = {"S-1-5-21-7-8-9-1001", u"alice", u"CORP"};
inline constexpr std::uint64_t kTargetTebAddress = 0x7FF000000000;

// A process's strings, its environment padded to the length of the
// library's copy of it, so that the copy succeeds.
inline fake::ProcessParametersModel Parameters(fake::ProcessParametersModel strings) {
  strings.environment.resize(layout::kEnvironmentReadSize / sizeof(char16_t));
  return strings;
}

// The strings of a process that has every live fact to give.
inline fake::ProcessParametersModel TargetParameters() {
  return Parameters({u"C:\\Program Files\\app\\app.exe",
                     u"\"C:\\Program Files\\app\\app.exe\" --name \"ü €漢字 😀\"", u"C:\\work dir\\",
                     u"C:\\Windows\\system32;C:\\Windows", u"The title", u"WinSta0\\Default",
                     std::u16string(u"A=1\0PATH=C:\\bin\0\0", 18)});
}

// The 32-bit copies of a 32-bit target's strings and environment. Every one
// differs from its 64-bit copy in TargetParameters() (on Windows the
// directory and the environment do once the process has changed them), so
// that a read of the wrong copy shows.
inline fake::ProcessParametersModel Wow64Parameters() {
  return Parameters({u"C:\\Program Files (x86)\\app\\app32.exe",
                     u"app32.exe --copy \"32-bit ü €漢字 😀\"", u"C:\\wow changed dir\\",
                     u"C:\\Windows\\SysWOW64;C:\\Windows", u"The 32-bit title", u"WinSta0\\Wow",
                     std::u16string(u"B=32\0WOW=set later\0\0", 21)});
}

// The bytes of the target's thread environment block.
inline std::vector<std::byte> TargetTebBytes() {
  std::vector<std::byte> bytes(layout::kTebReadSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::byte(i * 13);
  return bytes;
}

// The modules on a target's loader list, in load order; the last one's
// strings lie apart from its entry.
inline std::vector<fake::ModuleModel> TargetModules() {
  return {{u"C:\\Program Files\\app\\app.exe", 0x140000000, 0x5000},
          {u"C:\\Windows\\SYSTEM32\\ntdll.dll", 0x7FFD00000000, 0x1F8000},
          {u"C:\\Windows\\System32\\KERNEL32.DLL", 0x7FFCF0000000, 0xC4000},
          {u"C:\\Program Files\\app\\plug-in ü 😀.dll", 0x7FFCE0000000, 0x23000, true}};
}

// The 32-bit loader list of a 32-bit target, which differs from its 64-bit
// one (TargetModules()), as on Windows, so that a read of the wrong one
// shows.
inline std::vector<fake::ModuleModel> Wow64Modules() {
  return {{u"C:\\Program Files (x86)\\app\\app32.exe", 0x400000, 0x7000},
          {u"C:\\Windows\\SysWOW64\\ntdll.dll", 0x77A00000, 0x1A4000, true},
          {u"C:\\Windows\\SysWOW64\\KERNEL32.DLL", 0x76F00000, 0xF0000}};
}

// A process whose live facts can all be read: its parameters and its
// loader list (TargetModules()) laid out, its first thread's environment
// block at kTargetTebAddress, owned by kTargetOwner (whom the system must
// know to name).
inline fake::ProcessModel MakeTarget(
    std::uint32_t id, std::uint32_t parent, std::u16string name, int threads,
    const fake::ProcessParametersModel& parameters = TargetParameters()) {
  fake::ProcessModel target = MakeProcess(id, parent, std::move(name), threads);
  fake::LayOutParameters(target, parameters);
  fake::LayOutModules(target, TargetModules(), false);
  target.threads.front().tebAddress = kTargetTebAddress;
  target.memory.push_back({kTargetTebAddress, TargetTebBytes(), "TEB"});
  target.ownerSid = kTargetOwner.sid;
  return target;
}

// A 32-bit target: one of MakeTarget whose 32-bit copies hold `wow64`, and
// whose 32-bit loader list holds Wow64Modules().
inline fake::ProcessModel MakeWow64Target(
    std::uint32_t id, std::uint32_t parent, std::u16string name, int threads,
    const fake::ProcessParametersModel& wow64 = Wow64Parameters()) {
  fake::ProcessModel target = MakeTarget(id, parent, std::move(name), threads);
  fake::LayOutParameters32(target, wow64);
  fake::LayOutModules(target, Wow64Modules(), true, 0x900000);
  return target;
}

}  // namespace zel::test
