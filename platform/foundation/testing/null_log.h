// A log sink that drops every message: for benchmarks and fuzz targets, where
// the lines a call writes are not what is measured or searched.
#pragma once

#include <string_view>

#include "platform/foundation/log.h"

namespace platform::foundation::testing {

class NullLog final : public LogSink {
 public:
  void write(std::string_view) override {}
};

}  // namespace platform::foundation::testing
