// Rounds of mixed calls for the leak checks: a new process object, a second
// snapshot and a filtered walk of it, and every operation on each process of
// a fixed set, some of which have ended (still held, or gone) since their
// snapshot was taken, so that the failure paths are repeated as often as the
// successful ones. Between rounds the calls hold nothing but the fixed
// object, whose snapshot does not change.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "ZelProcess.h"

namespace zel::churn {

class MixedCalls {
 public:
  // `fixed`'s snapshot holds the `targets`; each round's new object walks the
  // processes whose image name matches `pattern`.
  MixedCalls(CZelProcess& fixed, std::vector<unsigned> targets, CZelString pattern)
      : fixed_(fixed), targets_(std::move(targets)), pattern_(std::move(pattern)) {}

  // Whether each target is in the fixed snapshot, as the calls need: on one
  // that is not, they would stop at the first.
  bool TargetsInSnapshot();
  // One round; returns the number of library calls it made.
  std::size_t Round();
  // Rounds until at least `calls` calls have been made; returns how many.
  std::size_t Run(std::size_t calls);

 private:
  std::size_t OnTarget(unsigned id);

  CZelProcess& fixed_;
  std::vector<unsigned> targets_;
  CZelString pattern_;
};

}  // namespace zel::churn
