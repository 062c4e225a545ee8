// pxviber demo: a sample device, started, with the road of a reply shown step by step.
#pragma once

namespace pxviber {

struct DemoOptions {
  int iosVersion = 9;
  bool keep = false;
};

int runDemo(const DemoOptions& options);

}  // namespace pxviber
