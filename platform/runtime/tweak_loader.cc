#include "platform/runtime/tweak_loader.h"

#include <dlfcn.h>

#include <algorithm>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/loadable_code.h"

namespace platform::runtime {

namespace fs = std::filesystem;
using foundation::Value;

namespace {

bool filterSelects(const foundation::Dictionary& filterPlist, const std::string& bundleId) {
  const Value* filter = foundation::find(filterPlist, "Filter");
  if (!filter || !filter->asDictionary()) return false;
  const Value* bundles = foundation::find(*filter->asDictionary(), "Bundles");
  if (!bundles || !bundles->asArray()) return false;
  for (const auto& b : *bundles->asArray()) {
    if (b.asString() && *b.asString() == bundleId) return true;
  }
  return false;
}

}  // namespace

std::vector<fs::path> tweaksForBundle(const fs::path& folder, const std::string& bundleId) {
  std::vector<fs::path> filters;
  std::error_code ec;
  for (auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ".plist") filters.push_back(entry.path());
  }
  std::sort(filters.begin(), filters.end());
  std::vector<fs::path> libraries;
  for (auto& filter : filters) {
    auto plist = foundation::readDictionaryFile(filter);
    if (!plist || !filterSelects(*plist, bundleId)) continue;
    fs::path library = filter;
    library.replace_extension(".so");
    if (fs::exists(library, ec)) libraries.push_back(library);
  }
  return libraries;
}

std::vector<LoadedTweak> loadTweaks(const std::string& bundleId) {
  std::vector<LoadedTweak> result;
  for (auto& library : tweaksForBundle(foundation::hostPath(kTweakFolderDevicePath), bundleId)) {
    LoadedTweak tweak{library.stem().string(), library, false, {}};
    // RTLD_GLOBAL: the tweak's classes must share type information with the
    // platform libraries already loaded. A universal library loads the slice
    // for this processor.
    try {
      loadCode(library, RTLD_NOW | RTLD_GLOBAL);
      tweak.loaded = true;
    } catch (const Error& e) {
      tweak.error = e.what();
      foundation::NSLog("MobileSubstrate: failed to load {}: {}", library.string(), tweak.error);
    }
    result.push_back(std::move(tweak));
  }
  return result;
}

}  // namespace platform::runtime
