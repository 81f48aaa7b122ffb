// The table zelps prints: a header and a line a process, each column as wide
// as its widest cell on a terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "columns.h"
#include "process_rows.h"

namespace zelps {

// One string a line, without line ends: the header line, unless there are
// no `headers` (one a column), then a line a process. Numbers are aligned
// right, text left; the last column is not padded. Each process's threads,
// when they were read, follow it on lines of their own.
std::vector<std::string> TableLines(const std::vector<ProcessRow>& rows,
                                    const std::vector<Column>& columns,
                                    const std::optional<std::vector<std::string>>& headers);

// As TableLines, for a screen `width` columns wide: where the name column
// would end past it, the columns before it make way, the nearest first,
// except those in `keep`. Columns after the name are left to the screen's
// edge to cut.
std::vector<std::string> TableLinesToFit(const std::vector<ProcessRow>& rows,
                                         const std::vector<Column>& columns,
                                         const std::optional<std::vector<std::string>>& headers,
                                         std::size_t width, const std::vector<Column>& keep);

// With each column's own header.
std::vector<std::string> TableLines(const std::vector<ProcessRow>& rows,
                                    const std::vector<Column>& columns);

}  // namespace zelps
