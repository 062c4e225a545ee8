// NSException: the platform's raised exception, with a name and a reason.
//
// Raising is reserved for programming errors that the platform itself raises
// (an impossible image orientation, for example); ordinary failures answer nil.
#pragma once

#include <exception>
#include <string>

namespace platform::foundation {

inline constexpr const char* NSInternalInconsistencyException = "NSInternalInconsistencyException";

class NSException : public std::exception {
 public:
  NSException(std::string name, std::string reason)
      : name_(std::move(name)), reason_(std::move(reason)) {}

  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }
  const char* what() const noexcept override { return reason_.c_str(); }

  // raise:format: with an already formatted reason.
  [[noreturn]] static void raise(std::string name, std::string reason) {
    throw NSException(std::move(name), std::move(reason));
  }

 private:
  std::string name_;
  std::string reason_;
};

}  // namespace platform::foundation
