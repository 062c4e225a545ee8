// Text that every XML reader accepts, for the property-list writer.
//
// XML 1.0 holds only well-formed UTF-8 of the characters it allows: no C0
// control character but tab, line feed and carriage return, no U+FFFE or
// U+FFFF, and no character reference stands in for the others. A string of
// a property list may hold any of them (a damaged file, a binary property
// list, text from a hostile sender); written as it is, it makes the whole file
// unreadable to strict readers. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform::foundation {

// `text` with every byte that is not part of well-formed UTF-8 (overlong
// forms and surrogates included), and every character XML cannot hold,
// replaced by U+FFFD; text that XML can hold comes back unchanged.
std::string textXmlCanHold(std::string_view text);

}  // namespace platform::foundation
