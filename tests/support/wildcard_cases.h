// Names and pattern lists with whether the list matches the name: the rows
// that the library's matcher and the reference matcher (reference_wildcards.h)
// are both held to.
#pragma once

#include <string>
#include <vector>

namespace zel::test {

struct WildcardCase {
  std::u16string name;
  std::u16string patterns;
  bool matches;
  const char* label;
};

inline const std::vector<WildcardCase>& WildcardCases() {
  static const std::vector<WildcardCase> cases = {
      {u"svchost.exe", u"svchost.exe", true, "exact"},
      {u"svchost.exe", u"svc?ost.exe", true, "?"},
      {u"svchost.exe", u"???????????", true, "? per unit"},
      {u"svchost.exe", u"??????????", false, "one ? short"},
      {u"svchost.exe", u"s*.e*e", true, "stars"},
      {u"svchost.exe", u"svchost.exe*", true, "trailing star"},
      {u"svchost.exe", u"*s*t*", true, "many stars"},
      {u"svchost.exe", u"svchost.ex", false, "prefix"},
      {u"svchost.exe", u"svchost.exe.bak", false, "longer"},
      {u"svchost.exe", u"*.dll", false, "other ending"},
      {u"", u"*", true, "empty name, star"},
      {u"", u"?", false, "empty name, ?"},
      {u"\U0001F600.txt", u"??.txt", true, "a surrogate pair is two units"},
      {u"\U0001F600.txt", u"?.txt", false, "not one"},
      {u"explorer.EXE", u"*.exe", true, "any case"},
      {u"explorer.exe", u"EXPLORER.EXE", true, "any case, whole name"},
      {u"explorer.ex", u"EXPLORER.EXE", false, "any case, prefix"},
      {u"explorer.exe.bak", u"*.exe", false, "star, then more"},
      {u"winedevice.exe", u"s*;w*", true, "second of a list"},
      {u"Services.exe", u"s*;w*", true, "first of a list, any case"},
      {u"rpcss.exe", u"s*;w*", false, "none of a list"},
      {u"explorer.exe", u"?x*", true, "? then a unit"},
      {u"x.exe", u"?x*", false, "? takes the x"},
      {u"e", u"?x*", false, "too short"},
      {u"a", u";", false, "empty entries"},
  };
  return cases;
}

}  // namespace zel::test
