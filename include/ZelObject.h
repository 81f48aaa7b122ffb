// The framework's abstract base: every object carries an error holder.
#pragma once

#include "ZelError.h"

class CZelObject {
 public:
  CZelObject() = default;
  CZelObject(const CZelObject&) = default;
  CZelObject& operator=(const CZelObject& other) {
    m_Error = other.m_Error;
    return *this;
  }
  virtual ~CZelObject() = default;
  virtual int Dump() = 0;

  // The outcome of the object's last operation that recorded one: 0
  // (ERROR_SUCCESS), a Windows system error code, or a native status as the
  // platform returned it. Results only say whether a value is there; this is
  // how a host learns why not. Some successful operations record nothing and
  // leave the previous code in place.
  ZelCode GetErrorCode() const { return m_Error.GetError(); }

 protected:
  CZelError m_Error;
};
