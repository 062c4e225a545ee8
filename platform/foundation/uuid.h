// [[NSUUID UUID] UUIDString]: a new random UUID, as the phone names data
// containers, bundles and Core Data stores.
#pragma once

#include <string>

namespace platform::foundation {

// A version 4 (random) UUID in upper-case hex, "8-4-4-4-12" digits:
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F". Any thread may call it.
std::string newUUID();

}  // namespace platform::foundation
