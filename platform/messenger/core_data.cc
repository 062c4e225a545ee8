#include "platform/messenger/core_data.h"

#include <fmt/format.h>

#include <charconv>

namespace platform::messenger {

namespace {

constexpr std::string_view kScheme = "x-coredata://";

// "p" followed by decimal digits naming a key of 1 or more that fits 64 bits.
std::optional<std::int64_t> parseKey(std::string_view text) {
  if (text.size() < 2 || text[0] != 'p') return std::nullopt;
  text.remove_prefix(1);
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::int64_t key = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), key);
  if (ec != std::errc() || end != text.data() + text.size() || key < 1) return std::nullopt;
  return key;
}

}  // namespace

std::string NSManagedObjectID::URIText() const {
  return fmt::format("x-coredata://{}/{}/p{}", storeIdentifier_, entityName_, primaryKey_);
}

std::shared_ptr<foundation::NSURL> NSManagedObjectID::URIRepresentation() const {
  return foundation::NSURL::URLWithString(URIText());
}

std::string NSManagedObjectID::description() const {
  return fmt::format("{} <{}>", fmt::ptr(this), URIText());
}

std::string NSPersistentStore::description() const {
  return fmt::format("<NSPersistentStore: {}> ({})", fmt::ptr(this),
                     identifier().value_or("(null)"));
}

std::optional<std::string> NSPersistentStore::identifier() const {
  const foundation::Value* uuid = foundation::find(metadata_, kStoreUUIDKey);
  if (!uuid || !uuid->asString()) return std::nullopt;
  return *uuid->asString();
}

bool NSPersistentStore::hasEntity(std::string_view entity) const {
  const foundation::Value* hashes = foundation::find(metadata_, kStoreModelVersionHashesKey);
  if (!hashes || !hashes->asDictionary()) return false;
  return foundation::find(*hashes->asDictionary(), entity) != nullptr;
}

std::shared_ptr<const NSManagedObjectID>
NSPersistentStoreCoordinator::managedObjectIDForURIRepresentation(
    const std::shared_ptr<const foundation::NSURL>& url) const {
  if (!url) return nullptr;
  std::string_view text = url->absoluteString();
  if (text.substr(0, kScheme.size()) != kScheme) return nullptr;
  text.remove_prefix(kScheme.size());
  // Exactly three parts: store, entity, key.
  auto first = text.find('/');
  if (first == std::string_view::npos) return nullptr;
  auto second = text.find('/', first + 1);
  if (second == std::string_view::npos || text.find('/', second + 1) != std::string_view::npos) {
    return nullptr;
  }
  std::string_view uuid = text.substr(0, first);
  std::string_view entity = text.substr(first + 1, second - first - 1);
  auto key = parseKey(text.substr(second + 1));
  if (uuid.empty() || entity.empty() || !key) return nullptr;
  for (const auto& store : stores_) {
    if (store->identifier() == uuid && store->hasEntity(entity)) {
      return std::make_shared<NSManagedObjectID>(std::string(uuid), std::string(entity), *key);
    }
  }
  return nullptr;
}

}  // namespace platform::messenger
