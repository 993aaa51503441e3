// SimSerial: thread priority and the code-page conversions.
#include <string>

#include "os/sim/profile_sim_cp1252.h"
#include "os/sim/serial_sim.h"

namespace quillet::os::sim {

namespace {

// UTF-16 code units of a UTF-8 byte string; false on a malformed sequence.
bool DecodeUtf8(const char* bytes, int count, std::u16string& out) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  for (int i = 0; i < count;) {
    char32_t cp = b[i];
    int extra = cp < 0x80 ? 0 : (cp >> 5) == 6 ? 1 : (cp >> 4) == 14 ? 2 : (cp >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= count) return false;
    if (extra > 0) cp &= 0x3Fu >> extra;
    for (int k = 1; k <= extra; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b[i + k] & 0x3F);
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return true;
}

std::string EncodeUtf8(const wchar_t* wide, int count) {
  std::u16string units;
  units.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) units.push_back(static_cast<char16_t>(wide[i]));
  std::string out;
  AppendUtf8(out, units);
  return out;
}

}  // namespace

Bool SimSerial::SetCurrentThreadPriority(int priority) {
  Lock lock(mutex_);
  priorities_.push_back(priority);
  SetErrorLocked(kErrorSuccess);
  return 1;
}

std::vector<int> SimSerial::ThreadPriorities() const {
  Lock lock(mutex_);
  return priorities_;
}

int SimSerial::MultiByteToWideChar(Dword codePage, Dword flags, const char* bytes, int byteCount,
                                   wchar_t* wide, int wideCount) {
  Lock lock(mutex_);
  if (flags != 0 || byteCount < 0 || wideCount < 0 || (byteCount > 0 && bytes == nullptr)) {
    SetErrorLocked(kErrorInvalidParameter);
    return 0;
  }
  std::u16string text;
  if (codePage == kCpUtf8) {
    if (!DecodeUtf8(bytes, byteCount, text)) {
      SetErrorLocked(kErrorNoUnicodeTranslation);
      return 0;
    }
  } else if (codePage == kCpAcp || codePage == 1252) {
    for (int i = 0; i < byteCount; ++i)
      text.push_back(Cp1252ToUnicode(static_cast<unsigned char>(bytes[i])));
  } else {
    SetErrorLocked(kErrorInvalidParameter);
    return 0;
  }
  const int n = static_cast<int>(text.size());
  if (wideCount == 0) {
    SetErrorLocked(kErrorSuccess);
    return n;
  }
  if (wideCount < n) {
    SetErrorLocked(kErrorInsufficientBuffer);
    return 0;
  }
  for (int i = 0; i < n; ++i) wide[i] = static_cast<wchar_t>(text[static_cast<std::size_t>(i)]);
  SetErrorLocked(kErrorSuccess);
  return n;
}

int SimSerial::WideCharToMultiByte(Dword codePage, Dword flags, const wchar_t* wide, int wideCount,
                                   char* bytes, int byteCount) {
  Lock lock(mutex_);
  if (flags != 0 || wideCount < 0 || byteCount < 0 || (wideCount > 0 && wide == nullptr)) {
    SetErrorLocked(kErrorInvalidParameter);
    return 0;
  }
  std::string out;
  if (codePage == kCpUtf8) {
    out = EncodeUtf8(wide, wideCount);
  } else if (codePage == kCpAcp || codePage == 1252) {
    for (int i = 0; i < wideCount; ++i)
      out.push_back(static_cast<char>(UnicodeToCp1252(static_cast<char16_t>(wide[i]))));
  } else {
    SetErrorLocked(kErrorInvalidParameter);
    return 0;
  }
  const int n = static_cast<int>(out.size());
  if (byteCount == 0) {
    SetErrorLocked(kErrorSuccess);
    return n;
  }
  if (byteCount < n) {
    SetErrorLocked(kErrorInsufficientBuffer);
    return 0;
  }
  out.copy(bytes, out.size());
  SetErrorLocked(kErrorSuccess);
  return n;
}

}  // namespace quillet::os::sim
