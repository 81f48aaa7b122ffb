#include "ZelString.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

constexpr unsigned short kReplacement = 0xFFFD;
constexpr unsigned short kEmptyText[1] = {0};

std::size_t TerminatedLength(const unsigned short* psz) noexcept {
  std::size_t n = 0;
  while (psz[n] != 0) ++n;
  return n;
}

bool IsHighSurrogate(unsigned u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(unsigned u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

// Decodes one scalar starting at in[i], advancing i. On an ill-formed
// sequence, consumes only its maximal valid prefix (at least one byte) and
// returns U+FFFD, so the byte that broke the sequence starts the next one.
char32_t DecodeUtf8(std::string_view in, std::size_t& i) noexcept {
  const auto lead = static_cast<unsigned char>(in[i++]);
  if (lead < 0x80) return lead;

  int trailing = 0;
  char32_t cp = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the next byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0)
      lo = 0xA0;  // overlong
    else if (lead == 0xED)
      hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    cp = lead & 0x07;
    if (lead == 0xF0)
      lo = 0x90;  // overlong
    else if (lead == 0xF4)
      hi = 0x8F;  // above U+10FFFF
  } else {
    return kReplacement;
  }

  for (; trailing > 0; --trailing) {
    if (i >= in.size()) return kReplacement;
    const auto c = static_cast<unsigned char>(in[i]);
    if (c < lo || c > hi) return kReplacement;
    cp = (cp << 6) | (c & 0x3F);
    ++i;
    lo = 0x80;
    hi = 0xBF;
  }
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

CZelString::CZelString() noexcept = default;

CZelString::CZelString(const unsigned short* psz)
    : CZelString(psz, psz ? TerminatedLength(psz) : 0) {}

CZelString::CZelString(const unsigned short* pch, std::size_t length) {
  if (pch && length > 0) {
    m_data.reserve(length + 1);
    m_data.assign(pch, pch + length);
    m_data.push_back(0);
  }
#if defined(_WIN32)
  SyncWide();
#endif
}

CZelString::CZelString(std::vector<unsigned short>&& terminated) noexcept
    : m_data(std::move(terminated)) {}

CZelString::CZelString(const CZelString& other) = default;
CZelString::CZelString(CZelString&& other) noexcept = default;
CZelString::~CZelString() = default;
CZelString& CZelString::operator=(const CZelString& other) = default;
CZelString& CZelString::operator=(CZelString&& other) noexcept = default;

CZelString& CZelString::operator=(const unsigned short* psz) {
  // Building first keeps psz readable even when it points into m_data.
  *this = CZelString(psz);
  return *this;
}

bool CZelString::operator==(const CZelString& other) const noexcept {
  return m_data == other.m_data;
}

bool CZelString::operator!=(const CZelString& other) const noexcept { return !(*this == other); }

bool CZelString::operator==(const unsigned short* psz) const noexcept {
  if (!psz) return IsEmpty();
  const std::size_t n = GetLength();
  for (std::size_t i = 0; i < n; ++i) {
    // psz[i] == 0 ends the other text early; this one may hold a NUL unit.
    if (psz[i] != m_data[i] || psz[i] == 0) return false;
  }
  return psz[n] == 0;
}

bool CZelString::operator!=(const unsigned short* psz) const noexcept { return !(*this == psz); }

CZelString::operator const unsigned short*() const noexcept {
  return m_data.empty() ? kEmptyText : m_data.data();
}

void CZelString::Empty() noexcept {
  m_data.clear();
#if defined(_WIN32)
  m_wide.clear();
#endif
}

bool CZelString::IsEmpty() const noexcept { return m_data.empty(); }

std::size_t CZelString::GetLength() const noexcept {
  return m_data.empty() ? 0 : m_data.size() - 1;
}

int CZelString::Compare(const CZelString& other) const noexcept {
  const unsigned short* a = *this;
  const unsigned short* b = other;
  const auto order =
      std::lexicographical_compare_three_way(a, a + GetLength(), b, b + other.GetLength());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

CZelString CZelString::FromUtf8(std::string_view utf8) {
  std::vector<unsigned short> units;
  if (!utf8.empty()) {
    // Every UTF-16 unit consumes at least one byte, so this never grows.
    units.reserve(utf8.size() + 1);
    for (std::size_t i = 0; i < utf8.size();) {
      const char32_t cp = DecodeUtf8(utf8, i);
      if (cp >= 0x10000) {
        units.push_back(static_cast<unsigned short>(0xD800 + ((cp - 0x10000) >> 10)));
        units.push_back(static_cast<unsigned short>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      } else {
        units.push_back(static_cast<unsigned short>(cp));
      }
    }
    units.push_back(0);
  }
  CZelString result(std::move(units));
#if defined(_WIN32)
  result.SyncWide();
#endif
  return result;
}

std::string CZelString::ToUtf8() const {
  const std::size_t n = GetLength();
  std::string out;
  out.reserve(n * 3);  // a unit yields at most 3 bytes; a pair yields 4
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned u = m_data[i];
    if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(m_data[i + 1])) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (m_data[i + 1] - 0xDC00u));
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

#if defined(_WIN32)

CZelString::CZelString(const wchar_t* psz) {
  if (psz && *psz) {
    const std::size_t n = std::char_traits<wchar_t>::length(psz);
    m_data.reserve(n + 1);
    for (std::size_t i = 0; i < n; ++i) m_data.push_back(static_cast<unsigned short>(psz[i]));
    m_data.push_back(0);
    m_wide.assign(psz, psz + n + 1);
  }
}

CZelString& CZelString::operator=(const wchar_t* psz) {
  *this = CZelString(psz);
  return *this;
}

const wchar_t* CZelString::c_wstr() const noexcept { return m_wide.empty() ? L"" : m_wide.data(); }

void CZelString::SyncWide() { m_wide.assign(m_data.begin(), m_data.end()); }

#endif
