// The list controller (PSListController): a page whose rows come from a
// specifier list, whose values live in settings files, and whose buttons send
// actions to the controller by name.
//
// The Settings app asks specifiers() for the rows whenever it shows the page. The
// base answers what `_specifiers` holds; a subclass loads its list there, usually
// once, with loadSpecifiersFromPlistName(). A row shows readPreferenceValue() and
// stores the user's change with setPreferenceValue(), which writes the value into
// the row's defaults domain and then posts the row's PostNotification. A button
// row calls performSelector() with its action; subclasses make their methods
// callable by name with defineAction().
//
// Used from the main thread only.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/preferences/list_items.h"
#include "platform/preferences/view_controller.h"

namespace platform::preferences {

using Specifiers = std::shared_ptr<const SpecifierList>;

class PSListController : public UIViewController, public ActionTarget {
 public:
  std::string className() const override { return "PSListController"; }

  // The rows; the base answers `_specifiers`.
  virtual Specifiers specifiers();

  // Reads "<name>.plist" from the controller's bundle and parses it with
  // `target` on every row. nullptr when the file is missing, is not a property
  // list or is not a specifier list; the reason is logged and kept in
  // lastLoadFailure(). Rows and fields that were left out are logged too.
  std::shared_ptr<SpecifierList> loadSpecifiersFromPlistName(const std::string& name,
                                                             ActionTarget* target);
  // Why the last load answered nullptr; empty after a load that worked.
  const std::string& lastLoadFailure() const { return lastLoadFailure_; }

  // pushController:animate: puts `controller` on this controller's page stack.
  // The pushed page inherits this controller's bundle when it is a list
  // controller too. Without a stack nothing happens (and a line is logged).
  void pushController(std::shared_ptr<UIViewController> controller, bool animate);

  // What a row shows: the stored value when it is present and readable for the
  // row's kind (Foundation's boolValue for switches, longLongValue for number
  // fields), else the row's default, else null.
  foundation::Value readPreferenceValue(const PSSpecifier& specifier) const;
  // Stores `value` for the row and then posts its PostNotification, if any.
  // Answers false, posting nothing, when the row has no key or the write failed.
  bool setPreferenceValue(const foundation::Value& value, const PSSpecifier& specifier);

  bool respondsToSelector(std::string_view selector) const override;
  bool performSelector(std::string_view selector) override;

  // The folder of the bundle the controller's files come from.
  const std::filesystem::path& bundlePath() const { return bundlePath_; }
  void setBundlePath(std::filesystem::path path) { bundlePath_ = std::move(path); }

 protected:
  // Makes `selector` callable by name. The action runs on this controller, so
  // it must not outlive it: the table is the controller's own.
  void defineAction(std::string selector, std::function<void()> action);

  // The rows, owned by the controller.
  Specifiers _specifiers;

 private:
  std::filesystem::path bundlePath_;
  std::string lastLoadFailure_;
  std::map<std::string, std::function<void()>, std::less<>> actions_;
};

// Whole numbers as a number field takes them: optional blanks around an
// optional sign and decimal digits, nothing else, within the bounds given.
// nullopt for anything else, including numbers outside the 64-bit range.
std::optional<std::int64_t> parseWholeNumber(std::string_view text,
                                             std::optional<std::int64_t> minimum,
                                             std::optional<std::int64_t> maximum);

}  // namespace platform::preferences
