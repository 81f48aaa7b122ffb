// Handing the names of an account to the caller, as both sources do.
#pragma once

#include <new>
#include <utility>

#include "codes.h"
#include "ZelError.h"
#include "ZelString.h"

namespace zel::source {

// Gives the caller the account's name and domain, both or neither: both are
// built (by `make_user` and `make_domain`) before either is given, so that a
// failed allocation leaves two empty strings and ERROR_OUTOFMEMORY, not half
// an answer. 1, or 0.
template <class MakeUser, class MakeDomain>
int GiveAccount(CZelError& error, CZelString& user, CZelString& domain, MakeUser make_user,
                MakeDomain make_domain) {
  try {
    CZelString found_user = make_user();
    CZelString found_domain = make_domain();
    user = std::move(found_user);
    domain = std::move(found_domain);
  } catch (const std::bad_alloc&) {
    error.SetError(code::kOutOfMemory);
    return 0;
  }
  return 1;
}

}  // namespace zel::source
