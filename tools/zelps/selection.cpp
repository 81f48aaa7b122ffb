#include "selection.h"

#include <algorithm>

namespace zelps {
namespace {

bool Same(std::string_view a, std::string_view b, bool ignoreCase) {
  auto fold = [&](char c) { return ignoreCase && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

bool OwnerIs(std::string_view owner, std::string_view wanted, bool ignoreCase) {
  if (owner.empty() || wanted.empty()) return false;
  if (wanted.find('\\') != std::string_view::npos) return Same(owner, wanted, ignoreCase);
  const auto slash = owner.rfind('\\');
  return Same(slash == std::string_view::npos ? owner : owner.substr(slash + 1), wanted,
              ignoreCase);
}

std::vector<ProcessRow> Select(std::vector<ProcessRow> rows, const Selection& selection) {
  std::erase_if(rows, [&](const ProcessRow& row) {
    const bool idOk = selection.ids.empty() || std::find(selection.ids.begin(), selection.ids.end(),
                                                         row.id) != selection.ids.end();
    const bool userOk =
        selection.users.empty() ||
        std::any_of(selection.users.begin(), selection.users.end(), [&](const std::string& user) {
          return OwnerIs(row.owner, user, selection.ignoreCase);
        });
    return !(idOk && userOk);
  });
  return rows;
}

}  // namespace zelps
