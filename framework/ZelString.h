// CZelString: a UTF-16 string exchanged as NUL-terminated unsigned short arrays.
// CZelPathString: a CZelString holding a file or process name, with wildcard
// matching against lists of name patterns.
#pragma once

// First, so that an older standard meets its message before anything else.
#include "ZelVersion.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#if defined(ZELSTRING_BUILD)
#define ZELSTRING_API __declspec(dllexport)
#else
#define ZELSTRING_API __declspec(dllimport)
#endif
#else
#define ZELSTRING_API __attribute__((visibility("default")))
#endif

class ZELSTRING_API CZelString {
 public:
  CZelString() noexcept;
  // A null pointer gives an empty string.
  CZelString(const unsigned short* psz);
  // Copies exactly `length` units, NUL units included; the text need not be
  // terminated.
  CZelString(const unsigned short* pch, std::size_t length);
  CZelString(const CZelString& other);
  CZelString(CZelString&& other) noexcept;
  ~CZelString();

  CZelString& operator=(const CZelString& other);
  CZelString& operator=(CZelString&& other) noexcept;
  // Safe when psz points into this string's own text.
  CZelString& operator=(const unsigned short* psz);

  bool operator==(const CZelString& other) const noexcept;
  bool operator!=(const CZelString& other) const noexcept;
  // A null pointer compares equal to the empty string.
  bool operator==(const unsigned short* psz) const noexcept;
  bool operator!=(const unsigned short* psz) const noexcept;

  // Never null: an empty string yields a pointer to a NUL unit. Valid until
  // the string is next modified or destroyed.
  operator const unsigned short*() const noexcept;

  void Empty() noexcept;
  bool IsEmpty() const noexcept;
  // In UTF-16 code units, not characters.
  std::size_t GetLength() const noexcept;
  // Ordinal comparison by code unit: <0, 0 or >0.
  int Compare(const CZelString& other) const noexcept;

  // Each ill-formed UTF-8 sequence becomes U+FFFD.
  static CZelString FromUtf8(std::string_view utf8);
  // Each unpaired surrogate becomes U+FFFD.
  std::string ToUtf8() const;

#if defined(_WIN32)
  CZelString(const wchar_t* psz);
  CZelString& operator=(const wchar_t* psz);
  // Never null; valid until the string is next modified or destroyed.
  const wchar_t* c_wstr() const noexcept;
#endif

 private:
  explicit CZelString(std::vector<unsigned short>&& terminated) noexcept;
#if defined(_WIN32)
  void SyncWide();
#endif

  // Either empty (the empty string, no allocation) or the units followed by
  // one terminating NUL.
  std::vector<unsigned short> m_data;
#if defined(_WIN32)
  // wchar_t and unsigned short may not alias each other, so the wide view is
  // a copy kept in step with m_data by every modifier.
  std::vector<wchar_t> m_wide;
#endif
};

class ZELSTRING_API CZelPathString : public CZelString {
 public:
  CZelPathString();
  CZelPathString(const CZelString& str);
  CZelPathString(CZelString&& str) noexcept;
  CZelPathString(const CZelPathString&) = default;
  CZelPathString(CZelPathString&&) noexcept = default;
  CZelPathString& operator=(const CZelPathString&) = default;
  CZelPathString& operator=(CZelPathString&&) noexcept = default;
  ~CZelPathString();

  // Nonzero when this name matches pszSpec: one or more patterns separated
  // by ';' (leading spaces of each are ignored, empty ones skipped), where
  // '*' matches any run of units, '?' exactly one unit, and letters compare
  // without regard to case. "*.*" matches every name, with or without a dot.
  // A null pszSpec, or one without any pattern, matches nothing.
  int MatchSpec(const unsigned short* pszSpec) const;
};
