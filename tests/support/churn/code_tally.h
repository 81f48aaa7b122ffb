// What a run under churn saw: every code that each operation left in the
// object's error holder, with how often, and every breach of what a result
// and its code must agree on. Printed as summary lines for the reliability
// figures, and held against the codes each operation may give.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ZelError.h"

namespace zel::churn {

// For each operation, the codes it may leave; an operation not named may
// leave none.
using AllowedCodes = std::map<std::string, std::set<ZelCode>, std::less<>>;

class CodeTally {
 public:
  void Record(std::string_view operation, ZelCode code);
  // A result that disagrees with its code (a value with a failure code, or
  // no value with success), or a record that is not well formed.
  void Breach(std::string what);

  // "operation: code" for each code seen that `allowed` does not list.
  std::vector<std::string> Unexpected(const AllowedCodes& allowed) const;
  bool Saw(std::string_view operation, ZelCode code) const;
  std::size_t Calls() const;
  const std::vector<std::string>& Breaches() const { return breaches_; }

  // One line an operation: "<prefix> codes <operation>: <code>:<count> ...",
  // the codes in hexadecimal when they are native statuses.
  void Print(std::string_view prefix) const;

 private:
  std::map<std::string, std::map<ZelCode, std::size_t>, std::less<>> codes_;
  std::vector<std::string> breaches_;
  std::size_t breachCount_ = 0;
};

// The first few entries of a list, one a line, for a failure message.
std::string FirstFew(const std::vector<std::string>& lines, std::size_t limit = 20);

}  // namespace zel::churn
