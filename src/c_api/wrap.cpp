#include "wrap.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "ZelErrorMessage.h"

namespace zel::c_api {

static_assert(ZEL_ERROR_SUCCESS == kErrorSuccess && ZEL_ERROR_OUTOFMEMORY == kErrorOutOfMemory &&
                  ZEL_ERROR_INVALID_PARAMETER == kErrorInvalidParameter &&
                  ZEL_ERROR_NO_MORE_ITEMS == kErrorNoMoreItems &&
                  ZEL_ERROR_INTERNAL_ERROR == kErrorInternalError,
              "the C header's codes are those of ZelCodes.h");

ZelCode CurrentExceptionCode() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return code::kOutOfMemory;
  } catch (const std::system_error& e) {
    if (e.code().category() == error_category()) return static_cast<ZelCode>(e.code().value());
    return kErrorInternalError;
  } catch (...) {
    return kErrorInternalError;
  }
}

bool PrepareBuffer(zel_process* object, char* buf, std::size_t size) noexcept {
  if (buf == nullptr && size != 0) {
    if (object != nullptr) object->Record(code::kInvalidParameter);
    return false;
  }
  if (size != 0) buf[0] = '\0';
  return true;
}

std::size_t CopyOut(std::string_view text, char* buf, std::size_t size) noexcept {
  if (size == 0) return text.size();
  std::size_t count = std::min(text.size(), size - 1);
  // The first byte left out must start a character, so that none is split.
  if (count < text.size()) {
    while (count > 0 && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) --count;
  }
  std::memcpy(buf, text.data(), count);
  buf[count] = '\0';
  return text.size();
}

std::size_t TextOf(zel_process* object, void* find, char* buf, std::size_t size,
                   StringMember member) noexcept {
  if (!PrepareBuffer(object, buf, size)) return 0;
  return Invoke(object, std::size_t{0}, [&](zel_process& o) {
    const std::string text = (o.*member)(find).ToUtf8();
    return CopyOut(text, buf, size);
  });
}

int TimeOf(zel_process* object, void* find, std::uint64_t* time, TimeMember member) noexcept {
  return Fill(object, time, [&](zel_process& o, std::uint64_t& out) {
    PlatformRecord<layout::FileTime> record;
    if (!(o.*member)(find, record.As<_FILETIME>())) return 0;
    const layout::FileTime value = record.Read();
    out = std::uint64_t{value.dwHighDateTime} << 32 | value.dwLowDateTime;
    return 1;
  });
}

}  // namespace zel::c_api
