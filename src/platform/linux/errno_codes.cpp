#include "errno_codes.h"

#include <cerrno>

#include "../codes.h"

namespace zel::procfs {

ZelCode CodeOfErrno(int error) {
  switch (error) {
    case 0: return code::kSuccess;
    case ENOENT:
    case ESRCH: return code::kInvalidParameter;
    case EACCES:
    case EPERM: return code::kAccessDenied;
    case ENOMEM: return code::kOutOfMemory;
    case EMFILE:
    case ENFILE: return code::kTooManyOpenFiles;
    default: return code::kReadFault;
  }
}

}  // namespace zel::procfs
