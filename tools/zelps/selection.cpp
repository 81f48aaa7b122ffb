#include "selection.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace zelps {
namespace {

bool Same(std::string_view a, std::string_view b, bool ignoreCase) {
  auto fold = [&](char c) { return ignoreCase && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

std::optional<unsigned> UserId(std::string_view text) {
#ifdef _WIN32
  (void)text;
  return std::nullopt;
#else
  unsigned id = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return id;
#endif
}

bool Owns(const ProcessRow& row, std::string_view wanted, bool ignoreCase) {
  if (const auto id = UserId(wanted); id && row.userId == id) return true;
  return OwnerIs(row.owner, wanted, ignoreCase);
}

}  // namespace

bool OwnerIs(std::string_view owner, std::string_view wanted, bool ignoreCase) {
  if (owner.empty() || wanted.empty()) return false;
  const auto slash = owner.rfind('\\');
  const std::string_view user = slash == std::string_view::npos ? owner : owner.substr(slash + 1);
  const auto wantedSlash = wanted.rfind('\\');
  if (wantedSlash == std::string_view::npos) return Same(user, wanted, ignoreCase);
  const std::string_view domain = slash == std::string_view::npos ? "" : owner.substr(0, slash);
  return Same(domain, wanted.substr(0, wantedSlash), true) &&
         Same(user, wanted.substr(wantedSlash + 1), ignoreCase);
}

bool ByUserId(const Selection& selection) {
  return std::any_of(selection.users.begin(), selection.users.end(),
                     [](const std::string& user) { return UserId(user).has_value(); });
}

std::vector<ProcessRow> Select(std::vector<ProcessRow> rows, const Selection& selection) {
  std::erase_if(rows, [&](const ProcessRow& row) {
    const bool idOk = selection.ids.empty() || std::find(selection.ids.begin(), selection.ids.end(),
                                                         row.id) != selection.ids.end();
    const bool userOk =
        selection.users.empty() ||
        std::any_of(selection.users.begin(), selection.users.end(),
                    [&](const std::string& user) { return Owns(row, user, selection.ignoreCase); });
    return !(idOk && userOk);
  });
  return rows;
}

}  // namespace zelps
