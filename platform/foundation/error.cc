#include "platform/foundation/error.h"

#include <cstring>
#include <string>

namespace platform {

Error SystemError(std::string_view context, int err) {
  return Error(std::string(context) + ": " + std::strerror(err));
}

}  // namespace platform
