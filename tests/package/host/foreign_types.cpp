// A host with Windows' type names of its own, as code ported from Windows
// often has, each unlike any the library could have meant: its headers must
// leave every one of them to the host.
typedef unsigned long ULONG;
typedef unsigned long DWORD;
typedef unsigned long long ULONGLONG;
typedef unsigned long long SIZE_T;
typedef unsigned long long ULONG_PTR;
typedef long NTSTATUS;
typedef int BOOL;
typedef unsigned char BYTE;
typedef void* HANDLE;
typedef wchar_t WCHAR;

#include <string_view>

#include "ZelCodes.h"
#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"
#include "ZelProcessC.h"
#include "ZelVersion.h"

static_assert(std::string_view(ZELPROCESS_VERSION_STRING) == ZEL_PACKAGE_VERSION);

DWORD ForeignCode(const CZelProcess& processes) {
  const DWORD code = processes.GetErrorCode();
  return code == zel::kErrorSuccess ? 0 : code;
}
