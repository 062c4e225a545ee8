// The one error type of the platform layer.
//
// Platform services report failures that a caller cannot turn into a nil result by
// throwing platform::Error. Each backend has one helper that turns its own error code
// into an Error with the context of the failed call, so that a message always says
// what was attempted and why it failed. A failure is either thrown or logged, never both.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// "<context>: <strerror(err)>" for a failed system call that set errno to `err`.
Error SystemError(std::string_view context, int err);

}  // namespace platform
