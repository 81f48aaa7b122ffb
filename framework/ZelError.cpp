#include "ZelError.h"

CZelError::CZelError() : m_code(0) {}

CZelError::CZelError(const CZelError& other) : m_code(other.m_code) {}

CZelError::~CZelError() = default;

const CZelError& CZelError::operator=(const CZelError& other) {
  m_code = other.m_code;
  return *this;
}

int CZelError::SetError(ZelCode code) {
  m_code = code;
  return 1;
}

ZelCode CZelError::GetError() const { return m_code; }
