// The JSON that zelps --json prints: one object a line (JSON Lines) for each
// process, holding what the text listing shows for the same options.
#pragma once

#include <string>
#include <vector>

#include "filetime.h"
#include "json.h"
#include "process_table.h"

namespace zelps {

// {"id","parentId","threadCount","basePriority","name","createTime"}, then
// "depth" in a tree, "owner" and "commandLine" when they were read (empty
// where they could not be) and "threads" [{"id","created"}] when they were
// listed. Times are ISO 8601 UTC, or null where the platform has none.
inline std::string ProcessJson(const ProcessRow& row, const ReadOptions& read, bool tree) {
  JsonObject object;
  object.Number("id", row.id)
      .Number("parentId", row.parentId)
      .Number("threadCount", row.threadCount)
      .Number("basePriority", row.basePriority)
      .String("name", row.name)
      .StringOrNull("createTime", IsoTime(row.created));
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
  return object.Text();
}

// {"id","environment"}: the variables of one process, each "NAME=value".
inline std::string EnvironmentJson(unsigned id, const std::vector<std::string>& variables) {
  std::string list = "[";
  for (const std::string& variable : variables) {
    if (list.size() > 1) list += ',';
    AppendJsonString(list, variable);
  }
  return JsonObject().Number("id", id).Raw("environment", list + "]").Text();
}

}  // namespace zelps
