// The names of the accounts that own processes, as one object has looked
// them up, and handing them to the caller, as both sources do.
#pragma once

#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ZelError.h"
#include "ZelString.h"
#include "codes.h"

namespace zel {

// The names of the accounts that own processes, as one object has looked
// them up since it took its snapshot: each account is looked up once (in the
// user database, or by the platform's account lookup), however many of its
// processes are read. A new snapshot empties it; no two objects share one.
class AccountNames {
 public:
  struct Names {
    CZelString user;
    CZelString domain;
  };

  // The names found under `key` (the account's ID or SID, as bytes), or null.
  const Names* Find(std::string_view key) const {
    const auto found = names_.find(key);
    return found == names_.end() ? nullptr : &found->second;
  }
  // Keeps `names` under `key`. Throws std::bad_alloc.
  const Names& Add(std::string_view key, Names names) {
    return names_.insert_or_assign(std::string(key), std::move(names)).first->second;
  }
  void Clear() { names_.clear(); }

 private:
  std::map<std::string, Names, std::less<>> names_;
};

}  // namespace zel

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

// Gives the caller the names of the account `key`, which `names` keeps once
// `look_up` has given them: it gives the names, or nothing with the code why
// recorded. 1, or 0 with both strings as they came.
template <class LookUp>
int GiveNamesOf(CZelError& error, AccountNames& names, std::string_view key, CZelString& user,
                CZelString& domain, LookUp look_up) {
  const AccountNames::Names* found = names.Find(key);
  try {
    if (!found) {
      std::optional<AccountNames::Names> looked_up = look_up();
      if (!looked_up) return 0;
      found = &names.Add(key, std::move(*looked_up));
    }
  } catch (const std::bad_alloc&) {
    error.SetError(code::kOutOfMemory);
    return 0;
  }
  return GiveAccount(
      error, user, domain, [&] { return found->user; }, [&] { return found->domain; });
}

}  // namespace zel::source
