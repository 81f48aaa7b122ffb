// The JSON that zelps --json prints: one object a line (JSON Lines) for each
// process, holding what the text listing shows for the same options.
#pragma once

#include <string>
#include <vector>

#include "columns.h"
#include "filetime.h"
#include "json.h"
#include "process_rows.h"

namespace zelps {

// {"id","parentId","threadCount","basePriority","name","createTime"}, then
// "wow64": true for a 32-bit process on 64-bit Windows, "depth" in a tree,
// "owner" and "commandLine" when they were read (empty where they could not
// be) and "threads" [{"id","created"}] when they were listed. Times are ISO
// 8601 UTC, or null where the platform has none. The columns among
// `columns` add "nice" (on Windows the priority class's name), "uid",
// "elapsedSeconds", "cpuTime" (seconds, user and kernel), "workingSetBytes",
// "virtualBytes", "privateBytes", "ioBytes" and "cpuPercent", each null
// where it is not known, and the modules column "modules" [{"name", "path",
// "base", "size"}] (null, with "modulesError", where they could not be
// read; "modulesTruncated": true after a list cut at its bounds). With
// `sampled`, "sampled" is the time the row was read, to the millisecond, the
// same for every row of one table.
inline std::string ProcessJson(const ProcessRow& row, const ReadOptions& read, bool tree,
                               const std::vector<Column>& columns = {}, bool sampled = false) {
  JsonObject object;
  if (sampled) object.StringOrNull("sampled", IsoTime(AsFileTime(row.sampled), true));
  object.Number("id", row.id)
      .Number("parentId", row.parentId)
      .Number("threadCount", row.threadCount)
      .Number("basePriority", row.basePriority)
      .String("name", row.name)
      .StringOrNull("createTime", IsoTime(row.created));
  if (row.wow64) object.Raw("wow64", "true");
  if (tree) object.Number("depth", row.depth);
  if (read.owner) object.String("owner", row.owner);
  if (read.commandLine) object.String("commandLine", row.commandLine);
  if (read.threads) {
    std::string threads = "[";
    for (const ThreadRow& thread : row.threads) {
      if (threads.size() > 1) threads += ',';
      threads += JsonObject()
                     .Number("id", thread.id)
                     .StringOrNull("created", IsoTime(thread.created))
                     .Text();
    }
    object.Raw("threads", threads + "]");
  }
  for (const Column column : columns) {
    switch (column) {
      case Column::CpuTime:
        object.Real("cpuTime", double(row.userTicks + row.kernelTicks) / kTicksPerSecond);
        break;
      case Column::WorkingSet:
        object.Number("workingSetBytes", std::int64_t(row.workingSet));
        break;
      case Column::PrivateBytes:
        object.Number("privateBytes", std::int64_t(row.privateBytes));
        break;
      case Column::IoBytes: object.NumberOrNull("ioBytes", row.ioBytes); break;
      case Column::VirtualSize: object.Number("virtualBytes", std::int64_t(row.virtualSize)); break;
      case Column::UserId: object.NumberOrNull("uid", row.userId); break;
      case Column::Elapsed: {
        const auto ticks = ElapsedTicks(row);
        object.RealOrNull("elapsedSeconds",
                          ticks ? std::optional(double(*ticks) / kTicksPerSecond) : std::nullopt);
        break;
      }
      case Column::Nice:
#ifdef _WIN32
        object.StringOrNull("nice", Cell(row, column));
#else
        object.NumberOrNull("nice", row.nice);
#endif
        break;
      case Column::CpuPercent: object.RealOrNull("cpuPercent", row.cpuPercent); break;
      case Column::Modules: {
        if (row.modulesError) {
          object.Raw("modules", "null").String("modulesError", ModulesErrorText(*row.modulesError));
          break;
        }
        std::string modules = "[";
        for (const ModuleRow& module : row.modules) {
          if (modules.size() > 1) modules += ',';
          modules += JsonObject()
                         .String("name", module.name)
                         .String("path", module.path)
                         .Number("base", std::int64_t(module.base))
                         .Number("size", std::int64_t(module.size))
                         .Text();
        }
        object.Raw("modules", modules + "]");
        if (row.modulesCut) object.Raw("modulesTruncated", "true");
        break;
      }
      default: break;
    }
  }
  return object.Text();
}

// {"id","environment","truncated"}: the variables of one process, each
// "NAME=value", and whether the copy cut the block.
inline std::string EnvironmentJson(unsigned id, const std::vector<std::string>& variables,
                                   bool truncated = false) {
  std::string list = "[";
  for (const std::string& variable : variables) {
    if (list.size() > 1) list += ',';
    AppendJsonString(list, variable);
  }
  return JsonObject()
      .Number("id", id)
      .Raw("environment", list + "]")
      .Raw("truncated", truncated ? "true" : "false")
      .Text();
}

}  // namespace zelps
