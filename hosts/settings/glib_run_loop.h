// Running the platform's main run loop inside GLib's main loop.
//
// The Settings app is a GTK program, so GLib's loop owns the main thread. The
// platform's run loop (sd-event) carries the device bus, delayed calls and the
// tasks queued with post(); attachToGLib() hands its work to GLib, so all of it
// runs on the main thread between GTK's own events, and RunLoop::run() is never
// called in this process.
#pragma once

#include "platform/runloop/run_loop.h"

namespace hosts::settings {

// Makes GLib's default main context drive `loop`, which must be the sd-event
// loop (its nativeHandle() an sd_event*) and must outlive the context's use of it.
// Throws platform::Error for a loop that is not one.
void attachToGLib(platform::runloop::RunLoop& loop);

}  // namespace hosts::settings
