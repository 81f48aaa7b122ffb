// A UTF-8 decoder written for the fuzzer from the table of well-formed byte
// sequences (Unicode 3.9, table 3-7): each ill-formed sequence becomes one
// U+FFFD, for its maximal part that starts a well-formed sequence, and
// decoding resumes at the byte that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zel::fuzz {

struct ByteRange {
  unsigned char low, high;
};

struct SequenceForm {
  ByteRange lead;
  int trailing;
  ByteRange second;  // the others are 80..BF
};

inline constexpr SequenceForm kSequenceForms[] = {
    {{0x00, 0x7F}, 0, {}},           {{0xC2, 0xDF}, 1, {0x80, 0xBF}},
    {{0xE0, 0xE0}, 2, {0xA0, 0xBF}}, {{0xE1, 0xEC}, 2, {0x80, 0xBF}},
    {{0xED, 0xED}, 2, {0x80, 0x9F}}, {{0xEE, 0xEF}, 2, {0x80, 0xBF}},
    {{0xF0, 0xF0}, 3, {0x90, 0xBF}}, {{0xF1, 0xF3}, 3, {0x80, 0xBF}},
    {{0xF4, 0xF4}, 3, {0x80, 0x8F}},
};

inline bool In(ByteRange r, unsigned char b) { return b >= r.low && b <= r.high; }

struct Decoded {
  std::vector<unsigned short> units;
  bool wellFormed = true;
};

inline Decoded ReferenceUtf16(std::string_view text) {
  Decoded decoded;
  std::vector<unsigned short>& units = decoded.units;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const SequenceForm* form = nullptr;
    for (const SequenceForm& f : kSequenceForms)
      if (In(f.lead, lead)) form = &f;
    if (!form) {
      decoded.wellFormed = false;
      units.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::uint32_t scalar = form->trailing == 0 ? lead : lead & (0x3F >> form->trailing);
    int matched = 0;
    while (matched < form->trailing && i + 1 + matched < text.size()) {
      const auto b = static_cast<unsigned char>(text[i + 1 + matched]);
      if (!In(matched == 0 ? form->second : ByteRange{0x80, 0xBF}, b)) break;
      scalar = scalar << 6 | (b & 0x3F);
      ++matched;
    }
    i += 1 + matched;
    if (matched < form->trailing) {
      decoded.wellFormed = false;
      units.push_back(0xFFFD);
    } else if (scalar >= 0x10000) {
      units.push_back(static_cast<unsigned short>(0xD800 | (scalar - 0x10000) >> 10));
      units.push_back(static_cast<unsigned short>(0xDC00 | (scalar & 0x3FF)));
    } else {
      units.push_back(static_cast<unsigned short>(scalar));
    }
  }
  return decoded;
}

}  // namespace zel::fuzz
