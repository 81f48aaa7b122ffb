/// @file
/// CZelString, a UTF-16 string exchanged as NUL-terminated arrays of unsigned
/// 16-bit units, and CZelPathString, a CZelString holding a file or process
/// name, with wildcard matching against lists of name patterns.
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
/// Exports the string classes from ZelString64 (imports them into a host).
#define ZELSTRING_API __attribute__((visibility("default")))
#endif

/// A string of UTF-16 code units, which ZelProcess takes and gives its
/// names and texts in.
///
/// Its units are exchanged as NUL-terminated arrays of unsigned short (on
/// Windows also of wchar_t); ToUtf8() and FromUtf8() convert. A string may
/// hold NUL units of its own, made with the counted constructor, and then
/// reads as ended by the first one wherever a terminated array is taken.
/// Allocation failures leave as std::bad_alloc.
class ZELSTRING_API CZelString {
 public:
  /// The empty string; allocates nothing.
  CZelString() noexcept;
  /// A copy of the NUL-terminated units at `psz`; a null pointer gives an
  /// empty string.
  CZelString(const unsigned short* psz);
  /// A copy of exactly `length` units at `pch`, NUL units included; the text
  /// need not be terminated.
  CZelString(const unsigned short* pch, std::size_t length);
  /// A copy of the other string.
  CZelString(const CZelString& other);
  /// Takes over the other's units; the other is left empty.
  CZelString(CZelString&& other) noexcept;
  /// Releases the units.
  ~CZelString();

  /// Takes a copy of the other's units.
  CZelString& operator=(const CZelString& other);
  /// Takes over the other's units; the other is left empty.
  CZelString& operator=(CZelString&& other) noexcept;
  /// Takes a copy of the NUL-terminated units at `psz` (null gives the empty
  /// string). Safe when `psz` points into this string's own text.
  CZelString& operator=(const unsigned short* psz);

  /// Whether both hold the same units.
  bool operator==(const CZelString& other) const noexcept;
  /// Whether the units differ.
  bool operator!=(const CZelString& other) const noexcept;
  /// Whether this string holds the NUL-terminated units at `psz`; a null
  /// pointer compares equal to the empty string.
  bool operator==(const unsigned short* psz) const noexcept;
  /// The opposite of operator==(const unsigned short*).
  bool operator!=(const unsigned short* psz) const noexcept;

  /// The units, NUL-terminated. Never null: an empty string yields a pointer
  /// to a NUL unit. Valid until the string is next modified or destroyed.
  operator const unsigned short*() const noexcept;

  /// Makes the string empty.
  void Empty() noexcept;
  /// Whether the string holds no unit.
  bool IsEmpty() const noexcept;
  /// The number of UTF-16 code units, not characters.
  std::size_t GetLength() const noexcept;
  /// Ordinal comparison by code unit: below 0, 0 or above 0 as this string
  /// sorts before, with or after the other.
  int Compare(const CZelString& other) const noexcept;

  /// The string of the UTF-8 text `utf8`; each ill-formed sequence becomes
  /// U+FFFD.
  static CZelString FromUtf8(std::string_view utf8);
  /// The text in UTF-8; each unpaired surrogate becomes U+FFFD.
  std::string ToUtf8() const;

#if defined(_WIN32)
  /// On Windows: a copy of the NUL-terminated wide text at `psz`.
  CZelString(const wchar_t* psz);
  /// On Windows: takes a copy of the NUL-terminated wide text at `psz`.
  CZelString& operator=(const wchar_t* psz);
  /// On Windows: the units as wide text, for the platform's calls. Never
  /// null; valid until the string is next modified or destroyed.
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

/// A CZelString that holds a file or process name, matched against lists
/// of wildcard patterns.
class ZELSTRING_API CZelPathString : public CZelString {
 public:
  /// The empty name.
  CZelPathString();
  /// A copy of the string `str`.
  CZelPathString(const CZelString& str);
  /// Takes over the units of `str`, which is left empty.
  CZelPathString(CZelString&& str) noexcept;
  /// A copy of the other name.
  CZelPathString(const CZelPathString&) = default;
  /// Takes over the other's units.
  CZelPathString(CZelPathString&&) noexcept = default;
  /// Takes a copy of the other's units.
  CZelPathString& operator=(const CZelPathString&) = default;
  /// Takes over the other's units.
  CZelPathString& operator=(CZelPathString&&) noexcept = default;
  /// Releases the units.
  ~CZelPathString();

  /// Nonzero when this name matches `pszSpec`, else 0.
  ///
  /// `pszSpec` holds one or more patterns separated by ';' (leading spaces
  /// of each are ignored, empty ones skipped), where '*' matches any run of
  /// units, '?' exactly one unit, and letters compare without regard to
  /// case. "*.*" matches every name, with or without a dot. A null
  /// `pszSpec`, or one without any pattern, matches nothing.
  int MatchSpec(const unsigned short* pszSpec) const;
};
