// Specifiers: the rows of a settings list, read from Preferences-style
// specifier-list property lists.
//
// A specifier list is a property list whose root dictionary holds "items", an
// array of dictionaries, one per row:
//
//   cell              "PSGroupCell", "PSSwitchCell", "PSEditTextCell",
//                     "PSButtonCell" or "PSLinkCell" (required)
//   label             the row's text
//   key, defaults     where the row's value is stored: key `key` of the file of
//                     the defaults domain (switches and text fields need both)
//   default           the value shown while the key is absent from that file
//   PostNotification  the Darwin notification posted after each stored change
//   action            a button's selector, sent to the list's target
//   detail            a link's controller class, created by name and pushed
//   footerText        a group's footer
//   keyboard          "numbers" makes a text field take whole numbers, within
//   min, max          the bounds when they are given
//
// Beside "items", an optional "title" names the page.
//
// Parsing never throws: an entry that cannot be shown is left out and a field
// of the wrong type is ignored, and each of these is described in the list's
// `skipped` lines so that the Settings app can say what it left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/value.h"

namespace platform::preferences {

enum class CellType { Group, Switch, EditText, Button, Link };

// "PSSwitchCell" gives CellType::Switch; nullopt for a name that is not one of the five.
std::optional<CellType> cellTypeNamed(std::string_view name);
std::string_view cellTypeName(CellType type);

enum class KeyboardType { Text, Numbers };

// The object a row's action is sent to (a specifier list's target). Selectors are
// plain names; a target answers only those it defines.
class ActionTarget {
 public:
  virtual ~ActionTarget() = default;
  virtual bool respondsToSelector(std::string_view selector) const = 0;
  // Performs `selector`; false (doing nothing) when the target does not respond to it.
  virtual bool performSelector(std::string_view selector) = 0;
};

struct PSSpecifier {
  CellType cell = CellType::Group;
  std::string label;
  std::optional<std::string> key;
  std::optional<std::string> defaults;
  std::optional<foundation::Value> defaultValue;
  std::optional<std::string> postNotification;
  std::optional<std::string> action;
  std::optional<std::string> detail;
  std::optional<std::string> footerText;
  KeyboardType keyboard = KeyboardType::Text;
  std::optional<std::int64_t> minimum;
  std::optional<std::int64_t> maximum;
  // Not owned: the list's owner, which outlives the rows it owns.
  ActionTarget* target = nullptr;
};

// What a specifier-list file gave: the page title ("title" beside "items"), the
// rows that can be shown, in file order, and one line for every entry or field
// that was left out.
struct SpecifierList {
  std::optional<std::string> title;
  std::vector<PSSpecifier> items;
  std::vector<std::string> skipped;
};

// Parses the root of a specifier list. nullopt, with the reason in `failure`,
// when the root is not a dictionary or has no "items" array; otherwise every
// entry that can be shown, with `target` set on each.
std::optional<SpecifierList> parseSpecifierList(const foundation::Value& root, ActionTarget* target,
                                                std::string* failure);

// Whether `domain` may name a file under /var/mobile/Library/Preferences: not
// empty, no "/" and not "." or "..", so that a list cannot store outside the folder.
bool isValidDefaultsDomain(std::string_view domain);

}  // namespace platform::preferences
