// Reading keyed archives: any bytes give an object or nothing, never a crash,
// and whatever is read archives again and reads back.
#include <cstdint>
#include <span>

#include "platform/foundation/keyed_archive.h"
#include "platform/springboard/bulletin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  auto u = platform::foundation::unarchiveObjectWithData(std::span(data, size));
  if (!u) return 0;
  if (u->object) {
    (void)platform::springboard::userInfoOf(*u->object);
    (void)platform::foundation::Value(u->object->fields).description();
    (void)platform::foundation::unarchiveObjectWithData(
        platform::foundation::archivedDataWithRootObject(*u->object));
  } else {
    (void)u->value.description();
    (void)platform::foundation::unarchiveObjectWithData(
        platform::foundation::archivedDataWithRootObject(u->value));
  }
  return 0;
}
