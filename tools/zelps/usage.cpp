#include "usage.h"

#include <string_view>

#include "columns.h"
#include "command_line.h"

namespace zelps {
namespace {

constexpr std::size_t kHelpColumn = 26;

constexpr std::string_view kPriorityScale =
    "PRI is Windows' base priority, 1 to 31: 4 idle, 6 below normal, 8 normal,\n"
    "10 above normal, 13 high, 24 realtime. On Linux the nice value and the\n"
    "scheduling policy are put on that scale: a realtime policy 24, the idle\n"
    "policy 4, else nice -20 to -10 13, -9 to -1 10, 0 8, 1 to 9 6, 10 to 19 4.";

// "  LEFT    help", the help's later lines below its first.
void Row(std::string& out, const std::string& left, std::string_view help) {
  out += "  " + left;
  if (left.size() + 2 >= kHelpColumn) {
    out += '\n';
    out.append(kHelpColumn, ' ');
  } else {
    out.append(kHelpColumn - 2 - left.size(), ' ');
  }
  for (const char c : help) {
    out += c;
    if (c == '\n') out.append(kHelpColumn, ' ');
  }
  out += '\n';
}

std::string OptionName(const OptionInfo& info) {
  std::string name = info.id < 256 ? std::string("-") + char(info.id) : "  ";
  if (info.name != nullptr) name += std::string(info.id < 256 ? ", " : "  ") + "--" + info.name;
  if (!info.valueName.empty()) name += " " + std::string(info.valueName);
  return name;
}

std::string ColumnKeys(const ColumnInfo& info) {
  std::string keys;
  for (const std::string_view key : info.keys)
    if (!key.empty()) keys += (keys.empty() ? "" : ", ") + std::string(key);
  return keys;
}

}  // namespace

std::string HelpText() {
  std::string out =
      "usage: zelps [OPTION]... [PATTERN]...\n"
      "       zelps [--json] --env PID\n"
      "Lists the processes of the system, one line each.\n";
  constexpr std::pair<OptionGroup, std::string_view> kGroups[] = {
      {OptionGroup::Selection,
       "\nSelection (a process must pass every one given; none selected: exit 1):\n"},
      {OptionGroup::Output, "Output:\n"},
      {OptionGroup::Refresh, "Refresh mode:\n"},
      {OptionGroup::About, ""},
  };
  for (const auto& [group, title] : kGroups) {
    out += title;
    if (group == OptionGroup::Selection)
      Row(out, "PATTERN", "image names: '*', '?', several separated by ';'");
    for (const OptionInfo& info : OptionTable())
      if (info.group == group) Row(out, OptionName(info), info.help);
  }
  out += "\nColumns (-o and --sort take any of their names, in any case):\n";
  for (const ColumnInfo& info : ColumnTable()) Row(out, ColumnKeys(info), info.help);
  out += "\nFormats (--format):\n";
  for (const FormatInfo& info : kFormats) Row(out, std::string(info.name), info.help);
  return out + "\n" + std::string(kPriorityScale) + "\n";
}

}  // namespace zelps
