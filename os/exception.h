// The project's base exception: a UTF-16 message, as every error box shows it.
#pragma once

#include <exception>
#include <string>

namespace quillet {

class Exception : public std::exception {
 public:
  explicit Exception(std::wstring message);

  const std::wstring& Message() const noexcept { return message_; }

  // For diagnostics only (test output and the like): non-ASCII shown as '?'.
  const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  std::wstring message_;
  std::string narrow_;
};

}  // namespace quillet
