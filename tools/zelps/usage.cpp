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

struct Group {
  OptionGroup group;
  std::string_view title;
  std::string_view note;
};

constexpr Group kGroups[] = {
    {OptionGroup::Selection, "Selection",
     "a process must pass every one given; none selected: exit 1"},
    {OptionGroup::Output, "Output", ""},
    {OptionGroup::Refresh, "Refresh mode", ""},
    {OptionGroup::About, "", ""},
};

constexpr std::string_view kPatternHelp = "image names: '*', '?', several separated by ';'";
constexpr std::string_view kColumnsNote = "-o and --sort take any of their names, in any case";

// Text for roff: its escapes, and the line breaks of the help as spaces.
std::string Roff(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else if (c == '\n')
      out += ' ';
    else
      out += c;
  }
  // A line that starts with a dot or a quote would be a request.
  if (out.starts_with('.') || out.starts_with('\'')) out.insert(0, "\\&");
  return out;
}

std::string RoffOption(const OptionInfo& info) {
  std::string name;
  if (info.id < 256) name = "\\fB\\-" + std::string(1, char(info.id)) + "\\fR";
  if (info.name != nullptr)
    name += std::string(name.empty() ? "" : ", ") + "\\fB\\-\\-" + Roff(info.name) + "\\fR";
  if (!info.valueName.empty()) name += " \\fI" + Roff(info.valueName) + "\\fR";
  return name;
}

}  // namespace

std::string HelpText() {
  std::string out =
      "usage: zelps [OPTION]... [PATTERN]...\n"
      "       zelps [--json] --env PID\n"
      "Lists the processes of the system, one line each.\n\n";
  for (const Group& group : kGroups) {
    if (!group.title.empty())
      out += std::string(group.title) +
             (group.note.empty() ? "" : " (" + std::string(group.note) + ")") + ":\n";
    if (group.group == OptionGroup::Selection) Row(out, "PATTERN", kPatternHelp);
    for (const OptionInfo& info : OptionTable())
      if (info.group == group.group) Row(out, OptionName(info), info.help);
  }
  out += "\nColumns (" + std::string(kColumnsNote) + "):\n";
  for (const ColumnInfo& info : ColumnTable()) Row(out, ColumnKeys(info), info.help);
  out += "\nFormats (--format):\n";
  for (const FormatInfo& info : kFormats) Row(out, std::string(info.name), info.help);
  return out + "\n" + std::string(kPriorityScale) + "\n";
}

std::string ManualPage(std::string_view version) {
  std::string out = ".TH ZELPS 1 \"\" \"zelps " + std::string(version) +
                    "\" \"User Commands\"\n"
                    ".SH NAME\n"
                    "zelps \\- list the processes of the system, one line each\n"
                    ".SH SYNOPSIS\n"
                    ".B zelps\n"
                    "[\\fIOPTION\\fR]... [\\fIPATTERN\\fR]...\n"
                    ".br\n"
                    ".B zelps\n"
                    "[\\fB\\-\\-json\\fR] \\fB\\-\\-env\\fR \\fIPID\\fR\n"
                    ".SH DESCRIPTION\n"
                    "zelps lists the processes of the system, one line each, with the options "
                    "that ps, pgrep and PsList users reach for: it selects processes by image "
                    "name, ID and owner, shows the columns asked for in a table aligned by "
                    "display width, or as JSON Lines, CSV or metrics for Prometheus, once or in "
                    "a refresh mode.\n"
                    ".SH OPTIONS\n";
  for (const Group& group : kGroups) {
    out += ".SS " + std::string(group.title.empty() ? "Information" : group.title) + "\n";
    if (!group.note.empty()) out += Roff(group.note) + ".\n";
    if (group.group == OptionGroup::Selection)
      out += ".TP\n\\fIPATTERN\\fR\n" + Roff(kPatternHelp) + "\n";
    for (const OptionInfo& info : OptionTable())
      if (info.group == group.group)
        out += ".TP\n" + RoffOption(info) + "\n" + Roff(info.help) + "\n";
  }
  out += ".SH COLUMNS\n" + Roff(kColumnsNote) + ".\n";
  for (const ColumnInfo& info : ColumnTable())
    out += ".TP\n\\fB" + Roff(ColumnKeys(info)) + "\\fR (" + Roff(info.header) + ")\n" +
           Roff(info.help) + "\n";
  out += ".SH FORMATS\n";
  for (const FormatInfo& info : kFormats)
    out += ".TP\n\\fB" + Roff(info.name) + "\\fR\n" + Roff(info.help) + "\n";
  out +=
      ".SH PRIORITY\n" + Roff(kPriorityScale) +
      "\n"
      ".SH EXIT STATUS\n"
      ".TP\n.B 0\nprocesses were listed\n"
      ".TP\n.B 1\nnothing was selected, or the processes could not be read\n"
      ".TP\n.B 2\nbad usage, or the output could not be written\n"
      ".SH EXAMPLES\n"
      ".nf\n"
      "zelps \\-e \\-o user,pid,pcpu,vsz,rss,start,time,cmd\n"
      "zelps \\-u root \\-\\-sort=\\-ws,pid \\-o pid,ws,priv,name\n"
      "zelps \\-\\-tree \\-o pid,ppid,user,name 'bash;sshd'\n"
      "zelps \\-s 2\n"
      "zelps \\-\\-format prometheus \\-\\-output /var/lib/prometheus/node\\-exporter/zelps.prom\n"
      ".fi\n"
      ".SH SEE ALSO\n"
      ".BR ps (1),\n.BR pgrep (1),\n.BR top (1)\n";
  return out;
}

}  // namespace zelps
