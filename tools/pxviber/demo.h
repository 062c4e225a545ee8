// pxviber demo: the whole road of a reply on a fresh sample device, step by step.
//
// It creates a device in a temporary folder, starts its bus and springboard and
// then, with a progress line and a duration for each step, shows a one-to-one
// notification and its panel; a text reply that launches the messenger; a group
// notification; a photo reply that resumes a stopped messenger (each reply's
// chat shown with its unread count before the reply and none once the reply is
// delivered); a reply to a deleted conversation that comes back as an alert
// naming the reply; two quick replies to two conversations with the messenger
// not running, both delivered in order; and a settings change that takes effect
// at once. Every step checks what it shows; the summary table names any step
// that failed and the exit code is then non-zero.
#pragma once

namespace CLI {
class App;
}

namespace pxviber {

struct DemoOptions {
  int iosVersion = 9;
  bool keep = false;  // keep the device folder
  bool json = false;  // one JSON object per step instead of text
};

int runDemo(const DemoOptions& options);

}  // namespace pxviber
