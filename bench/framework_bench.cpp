#include "ZelString.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<unsigned short> Units(std::u16string_view text) {
  std::vector<unsigned short> units(text.begin(), text.end());
  units.push_back(0);
  return units;
}

void BM_MatchSpecTypicalName(benchmark::State& state) {
  const CZelPathString name(CZelString(Units(u"svchost.exe").data()));
  const auto patterns = Units(u"s*;w*");
  for (auto _ : state) benchmark::DoNotOptimize(name.MatchSpec(patterns.data()));
}
BENCHMARK(BM_MatchSpecTypicalName);

// Many stars against a long name that almost matches: the case that makes
// naive backtracking exponential.
void BM_MatchSpecManyStarsLongName(benchmark::State& state) {
  const std::u16string text(static_cast<std::size_t>(state.range(0)), u'a');
  const CZelPathString name(CZelString(Units(text).data()));
  const auto patterns = Units(u"*a*a*a*a*a*a*a*a*b");
  for (auto _ : state) benchmark::DoNotOptimize(name.MatchSpec(patterns.data()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MatchSpecManyStarsLongName)->RangeMultiplier(4)->Range(500, 32000)->Complexity();

}  // namespace
