// Makes an allocation of this test binary fail on purpose: every operator new
// of the process, the libraries' included, goes through the counting
// replacement in alloc_fault.cpp.
#pragma once

namespace zel::test {

// Allocations are counted, and fail, only outside the fake platform's
// calls: the n-th allocation from now (0: the next one) throws
// std::bad_alloc, once.
void FailAllocation(int n);
// Cancels a failure that has not happened yet.
void DisarmAllocationFailure();
// Whether the armed failure has happened.
bool AllocationFailed();

// Allocations made and not yet freed, counted from the start of the binary;
// the difference across a call is what the call left allocated.
long LiveAllocations();
// Allocations made outside the platform's calls, counted from the start of
// the binary: the difference across a call is how many FailAllocation can fail.
long AllocationsMade();

// Arms a failure for a scope and disarms whatever is left of it at the end.
class ScopedAllocationFailure {
 public:
  explicit ScopedAllocationFailure(int n) { FailAllocation(n); }
  ~ScopedAllocationFailure() { DisarmAllocationFailure(); }
  ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
  ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
};

}  // namespace zel::test
