/// @file
/// CZelObject, the framework's abstract base: every object carries an error
/// holder.
#pragma once

#include "ZelError.h"

/// The base of the framework's objects: each carries the outcome code of its
/// last operation that recorded one.
///
/// Results only say whether a value is there; GetErrorCode() is how a host
/// learns why not. Each member of a derived class says what it records, and
/// when it records nothing and so leaves the previous code in place.
class CZelObject {
 public:
  /// An object whose code is 0 (ERROR_SUCCESS).
  CZelObject() = default;
  /// A copy with the other's code.
  CZelObject(const CZelObject&) = default;
  /// Takes the other's code.
  CZelObject& operator=(const CZelObject& other) {
    m_Error = other.m_Error;
    return *this;
  }
  /// Destroys the object and its error holder.
  virtual ~CZelObject() = default;
  /// A derived class's dump of its state; see the derived class.
  virtual int Dump() = 0;

  /// The outcome of the object's last operation that recorded one: 0
  /// (ERROR_SUCCESS), a Windows system error code, or a native status as the
  /// platform returned it (see ZelCodes.h; zel::ErrorMessage() gives its
  /// text). Records nothing itself.
  ZelCode GetErrorCode() const { return m_Error.GetError(); }

 protected:
  /// The error holder, where each operation records its outcome.
  CZelError m_Error;
};
