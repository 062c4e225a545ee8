#include "hosts/settings/pane_catalog.h"

#include <dlfcn.h>

#include <algorithm>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/preferences/list_controller.h"
#include "platform/preferences/list_items.h"
#include "platform/runtime/loadable_code.h"

namespace hosts::settings {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

namespace {

std::string stringIn(const Dictionary& d, std::string_view key) {
  const Value* v = platform::foundation::find(d, key);
  return v && v->asString() ? *v->asString() : std::string();
}

// One entry file; nullopt with the reason in `why` when it cannot be listed.
std::optional<PaneEntry> readEntry(const fs::path& file, std::string& why) {
  auto bytes = platform::foundation::readFile(file, platform::foundation::kMaxPropertyListBytes);
  auto root = bytes ? platform::foundation::parsePropertyList(*bytes) : std::nullopt;
  if (!root) {
    why = "not a property list";
    return std::nullopt;
  }
  const Dictionary* top = root->asDictionary();
  const Value* entryValue = top ? platform::foundation::find(*top, "entry") : nullptr;
  const Dictionary* entry = entryValue ? entryValue->asDictionary() : nullptr;
  if (!entry) {
    why = "no \"entry\" dictionary";
    return std::nullopt;
  }
  PaneEntry pane;
  pane.entryFile = file;
  pane.bundle = stringIn(*entry, "bundle");
  // A bundle name is one folder name: it must not lead out of the bundle folder.
  if (!platform::preferences::isValidDefaultsDomain(pane.bundle)) {
    why = "no usable \"bundle\" name";
    return std::nullopt;
  }
  pane.label = stringIn(*entry, "label");
  if (pane.label.empty()) pane.label = pane.bundle;
  pane.detail = stringIn(*entry, "detail");
  return pane;
}

}  // namespace

PaneCatalog listPanes() {
  PaneCatalog catalog;
  std::error_code ec;
  std::vector<fs::path> files;
  for (auto& item :
       fs::directory_iterator(platform::foundation::hostPath(kEntryFolderDevicePath), ec)) {
    if (item.path().extension() == ".plist") files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  for (auto& file : files) {
    std::string why;
    if (auto pane = readEntry(file, why)) {
      catalog.panes.push_back(std::move(*pane));
    } else {
      catalog.skipped.push_back(file.filename().string() + ": " + why + ", skipped");
      platform::foundation::NSLog("Preferences: pane entry {}: {}, skipped", file.string(), why);
    }
  }
  std::stable_sort(catalog.panes.begin(), catalog.panes.end(),
                   [](const PaneEntry& a, const PaneEntry& b) { return a.label < b.label; });
  return catalog;
}

OpenedPane openPane(const PaneEntry& entry) {
  OpenedPane opened;
  fs::path bundle = platform::foundation::hostPath(std::string(kBundleFolderDevicePath) + "/" +
                                                   entry.bundle + ".bundle");
  auto info = platform::foundation::readDictionaryFile(bundle / "Info.plist");
  if (!info) {
    opened.error = "the bundle " + bundle.string() + " has no readable Info.plist";
    return opened;
  }
  std::string executable = stringIn(*info, "CFBundleExecutable");
  if (executable.empty()) executable = entry.bundle;
  std::string className = entry.detail.empty() ? stringIn(*info, "NSPrincipalClass") : entry.detail;
  if (!platform::preferences::isValidDefaultsDomain(executable) || className.empty()) {
    opened.error = "the bundle's Info.plist names no usable plug-in file or entry class";
    return opened;
  }
  fs::path plugin = bundle / executable;
  // Plug-ins stay loaded for the life of the app, as loaded code does on the
  // phone. The executable may be universal: the slice for this processor loads.
  void* handle = nullptr;
  try {
    handle = platform::runtime::loadCode(plugin, RTLD_NOW | RTLD_LOCAL);
  } catch (const platform::Error& e) {
    opened.error = std::string("cannot load the plug-in: ") + e.what();
    return opened;
  }
  auto registerClasses = reinterpret_cast<void (*)()>(::dlsym(handle, kRegisterClassesSymbol));
  if (!registerClasses) {
    opened.error = plugin.string() + " exports no " + kRegisterClassesSymbol;
    return opened;
  }
  registerClasses();
  opened.controller = platform::preferences::createViewController(className);
  if (!opened.controller) {
    opened.error = "the plug-in provides no controller class " + className;
    return opened;
  }
  if (auto* list = dynamic_cast<platform::preferences::PSListController*>(opened.controller.get()))
    list->setBundlePath(bundle);
  if (opened.controller->navigationItem().title().empty())
    opened.controller->navigationItem().setTitle(entry.label);
  return opened;
}

}  // namespace hosts::settings
