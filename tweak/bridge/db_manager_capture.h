// The database-manager capture: the tweak library's first load-time routine.
#pragma once

namespace tweak {

// Writes "PXVIBER: ctor" and looks up Viber's DBManager class; in a process
// without that class (the springboard) nothing else happens.
void installDBManagerCapture();

}  // namespace tweak
