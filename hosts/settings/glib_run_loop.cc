#include "hosts/settings/glib_run_loop.h"

#include <glib.h>
#include <systemd/sd-event.h>

#include "platform/foundation/error.h"

namespace hosts::settings {

namespace {

// A GLib source over sd-event's epoll descriptor. sd-event's own three steps map
// onto GLib's: prepare arms the timers and runs the prepare callbacks (the bus
// flushes its queue there), check asks without blocking whether anything is
// ready, dispatch runs what is. GLib may skip our check or dispatch in an
// iteration (when a source of higher priority is dispatched alone), so each step
// first finishes whatever state sd-event was left in.
struct EventSource {
  GSource source;
  sd_event* event;
};

sd_event* eventOf(GSource* s) { return reinterpret_cast<EventSource*>(s)->event; }

gboolean prepare(GSource* s, gint* timeout) {
  *timeout = -1;  // timers wake the epoll descriptor themselves
  sd_event* e = eventOf(s);
  int state = sd_event_get_state(e);
  if (state == SD_EVENT_PENDING) return TRUE;
  if (state == SD_EVENT_ARMED && sd_event_wait(e, 0) > 0) return TRUE;
  return sd_event_prepare(e) > 0;
}

gboolean check(GSource* s) {
  sd_event* e = eventOf(s);
  int state = sd_event_get_state(e);
  if (state == SD_EVENT_PENDING) return TRUE;
  if (state != SD_EVENT_ARMED) return FALSE;
  return sd_event_wait(e, 0) > 0;
}

gboolean dispatch(GSource* s, GSourceFunc, gpointer) {
  sd_event* e = eventOf(s);
  if (sd_event_get_state(e) == SD_EVENT_PENDING) sd_event_dispatch(e);
  return G_SOURCE_CONTINUE;
}

GSourceFuncs kFuncs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

}  // namespace

void attachToGLib(platform::runloop::RunLoop& loop) {
  auto* event = static_cast<sd_event*>(loop.nativeHandle());
  if (!event) throw platform::Error("the main run loop is not an sd-event loop");
  GSource* source = g_source_new(&kFuncs, sizeof(EventSource));
  reinterpret_cast<EventSource*>(source)->event = event;
  g_source_add_unix_fd(source, sd_event_get_fd(event), G_IO_IN);
  g_source_set_name(source, "platform run loop");
  g_source_attach(source, nullptr);
  g_source_unref(source);  // the context keeps it
}

}  // namespace hosts::settings
