#include "ZelString.h"

#include <utility>

#include "wildcard_match.h"

CZelPathString::CZelPathString() = default;

CZelPathString::CZelPathString(const CZelString& str) : CZelString(str) {}

CZelPathString::CZelPathString(CZelString&& str) noexcept : CZelString(std::move(str)) {}

CZelPathString::~CZelPathString() = default;

int CZelPathString::MatchSpec(const unsigned short* pszSpec) const {
  if (!pszSpec) return 0;
  const unsigned short* name = *this;
  zel::wildcard::NoSteps uncounted;
  return zel::wildcard::MatchesAnyPattern(name, GetLength(), pszSpec, uncounted) ? 1 : 0;
}
