#include "failure_codes.h"

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

ZelCode CodeOf(LiveFact fact, const Seen& seen) {
  const bool memory =
      fact == LiveFact::String || fact == LiveFact::Environment || fact == LiveFact::Modules;
  switch (seen.presence) {
    case Presence::Unreadable: return CodeOfErrno(seen.statError);
    case Presence::Gone:
      return fact == LiveFact::Environment ? code::kInvalidParameter : code::kAccessDenied;
    case Presence::Memoryless:
      if (fact == LiveFact::Modules && seen.kernelThread) return code::kSuccess;
      if (memory) return code::kAccessDenied;
      break;
    case Presence::Running: break;
  }
  if (seen.readError != 0)
    return fact != LiveFact::Environment && MeansGone(seen.readError) ? code::kAccessDenied
                                                                      : CodeOfErrno(seen.readError);
  if (fact == LiveFact::Owner && !seen.answered) return code::kNoToken;
  return code::kSuccess;
}

}  // namespace zel::procfs
