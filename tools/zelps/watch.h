// The refresh mode: a new snapshot every interval, with each process's CPU %
// since the one before.
#pragma once

#include "command_line.h"

namespace zelps {

// Redraws the table in place when standard output is a terminal, else prints
// one listing after the other (or rewrites the output file). Ends on q,
// Ctrl-C, a termination signal or after the iterations asked for: 0 then,
// or 1 when no table selected any process, as a single listing.
// Throws std::runtime_error when a snapshot or the output fails.
int Watch(const Options& options);

// Standard output, or the output file written whole; throws OutputError on
// failure.
void Emit(const std::string& text, const Options& options);

}  // namespace zelps
