// One listing of the processes, from reading the snapshot to the text
// printed, shared by the plain listing and the refresh mode.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "command_line.h"
#include "process_rows.h"

namespace zelps {

// The selected processes of the snapshot, with what the columns, the sort
// key, the selection and the format need read. With a module pattern only
// the processes with a module that matches it are selected; how many of
// the others could not be read goes to `unreadable`.
std::vector<ProcessRow> ReadSelected(CZelProcess& processes, const Options& options,
                                     std::size_t* unreadable = nullptr);

// Sorted by the sort key, then put in tree order when asked.
void Order(std::vector<ProcessRow>& rows, const Options& options);

// The headers of the table and of CSV; none with --no-headers or when every
// column's header is empty, as in ps.
std::optional<std::vector<std::string>> HeaderLine(const Options& options);

// The whole text in the chosen format; without the header line of the table
// and CSV unless `header`.
std::string Render(const std::vector<ProcessRow>& rows, const Options& options, bool header = true);

}  // namespace zelps
