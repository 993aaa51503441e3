#include "os/exception.h"

namespace quillet {

Exception::Exception(std::wstring message) : message_(std::move(message)) {
  narrow_.reserve(message_.size());
  for (wchar_t ch : message_) narrow_.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
}

}  // namespace quillet
