#include "code_tally.h"

#include <cstdio>

namespace zel::churn {
namespace {

// Breaches past this many are counted but not kept, so that a fault that
// hits every call cannot fill the memory of a long run.
constexpr std::size_t kBreachesKept = 200;

std::string CodeText(ZelCode code) {
  char text[32];
  if (code >= 0xC0000000u)
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  else
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(code));
  return text;
}

}  // namespace

void CodeTally::Record(std::string_view operation, ZelCode code) {
  auto found = codes_.find(operation);
  if (found == codes_.end())
    found = codes_.emplace(std::string(operation), std::map<ZelCode, std::size_t>{}).first;
  ++found->second[code];
}

void CodeTally::Breach(std::string what) {
  if (++breachCount_ <= kBreachesKept) breaches_.push_back(std::move(what));
}

std::vector<std::string> CodeTally::Unexpected(const AllowedCodes& allowed) const {
  std::vector<std::string> unexpected;
  for (const auto& [operation, codes] : codes_) {
    const auto permitted = allowed.find(operation);
    for (const auto& [code, count] : codes) {
      if (permitted != allowed.end() && permitted->second.contains(code)) continue;
      unexpected.push_back(operation + ": " + CodeText(code) + " (" + std::to_string(count) +
                           " times)");
    }
  }
  return unexpected;
}

bool CodeTally::Saw(std::string_view operation, ZelCode code) const {
  const auto found = codes_.find(operation);
  return found != codes_.end() && found->second.contains(code);
}

std::size_t CodeTally::Calls() const {
  std::size_t calls = 0;
  for (const auto& [operation, codes] : codes_)
    for (const auto& [code, count] : codes) calls += count;
  return calls;
}

void CodeTally::Print(std::string_view prefix) const {
  for (const auto& [operation, codes] : codes_) {
    std::string line = std::string(prefix) + " codes " + operation + ":";
    for (const auto& [code, count] : codes)
      line += " " + CodeText(code) + ":" + std::to_string(count);
    std::printf("%s\n", line.c_str());
  }
  std::printf("%.*s breaches: %zu\n", static_cast<int>(prefix.size()), prefix.data(), breachCount_);
  std::fflush(stdout);
}

std::string FirstFew(const std::vector<std::string>& lines, std::size_t limit) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < limit; ++i) text += "\n  " + lines[i];
  if (lines.size() > limit) text += "\n  ... and " + std::to_string(lines.size() - limit) + " more";
  return text;
}

}  // namespace zel::churn
