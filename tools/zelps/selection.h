// Which processes a listing keeps, as pgrep selects them: by ID and by owner.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "process_rows.h"

namespace zelps {

// Windows compares account names without regard to case; Unix does not. A
// domain, a host name on Unix, compares without case everywhere.
#ifdef _WIN32
inline constexpr bool kAccountNamesIgnoreCase = true;
#else
inline constexpr bool kAccountNamesIgnoreCase = false;
#endif

// Whether `owner` ("DOMAIN\user", or empty where it could not be read) is the
// account `wanted` names: "user" alone matches in any domain,
// "DOMAIN\user" only in that one.
bool OwnerIs(std::string_view owner, std::string_view wanted, bool ignoreCase);

struct Selection {
  std::vector<unsigned> ids;  // none: any ID
  // Account names, on Linux also user IDs; none: any owner.
  std::vector<std::string> users;
  bool ignoreCase = kAccountNamesIgnoreCase;
};

// Whether one of the users given is a number: a user ID, read for each row,
// on Linux.
bool ByUserId(const Selection& selection);

// The rows that every criterion given keeps, in their order.
std::vector<ProcessRow> Select(std::vector<ProcessRow> rows, const Selection& selection);

}  // namespace zelps
