#include "platform/messenger/core_data.h"

#include <gtest/gtest.h>

namespace platform::messenger {
namespace {

using foundation::Dictionary;
using foundation::NSURL;
using foundation::Value;

std::shared_ptr<const NSPersistentStore> store(const std::string& uuid,
                                               std::initializer_list<const char*> entities) {
  Dictionary hashes;
  for (auto* e : entities) hashes[e] = Value(foundation::Data{0xab});
  return std::make_shared<NSPersistentStore>(
      Dictionary{{kStoreUUIDKey, Value(uuid)}, {kStoreModelVersionHashesKey, Value(hashes)}});
}

class Coordinator : public ::testing::Test {
 protected:
  NSPersistentStoreCoordinator coordinator_{
      {store("AUX-1", {"Sticker"}), store("MAIN-2", {"Conversation", "ViberMessage"})}};

  // The ID for `uri` as its URI text, or "nil".
  std::string resolve(const std::string& uri) const {
    auto id = coordinator_.managedObjectIDForURIRepresentation(NSURL::URLWithString(uri));
    return id ? id->URIText() : "nil";
  }
};

TEST_F(Coordinator, ResolvesAKnownStoreEntityAndDecimalKey) {
  EXPECT_EQ(resolve("x-coredata://MAIN-2/Conversation/p42"),
            "x-coredata://MAIN-2/Conversation/p42");
  EXPECT_EQ(resolve("x-coredata://MAIN-2/ViberMessage/p7"), "x-coredata://MAIN-2/ViberMessage/p7");
  EXPECT_EQ(resolve("x-coredata://AUX-1/Sticker/p9223372036854775807"),
            "x-coredata://AUX-1/Sticker/p9223372036854775807");
  auto id = coordinator_.managedObjectIDForURIRepresentation(
      NSURL::URLWithString("x-coredata://MAIN-2/Conversation/p42"));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->storeIdentifier(), "MAIN-2");
  EXPECT_EQ(id->entityName(), "Conversation");
  EXPECT_EQ(id->primaryKey(), 42);
}

TEST_F(Coordinator, RefusesEverythingElse) {
  for (const char* uri : {
           "x-coredata://OTHER/Conversation/p42",                     // unknown store
           "x-coredata://AUX-1/Conversation/p42",                     // store without that entity
           "x-coredata://MAIN-2/Conversation/42",                     // no "p"
           "x-coredata://MAIN-2/Conversation/p",                      // no key
           "x-coredata://MAIN-2/Conversation/p0",                     // keys start at 1
           "x-coredata://MAIN-2/Conversation/p-1",                    // signed
           "x-coredata://MAIN-2/Conversation/p4x",                    // not decimal
           "x-coredata://MAIN-2/Conversation/p99999999999999999999",  // too large
           "x-coredata://MAIN-2/Conversation/p1/extra", "x-coredata://MAIN-2//p1",
           "x-coredata:///Conversation/p1", "https://MAIN-2/Conversation/p1",
           "x-coredata://main-2/Conversation/p1",  // identifiers compare exactly
       }) {
    EXPECT_EQ(resolve(uri), "nil") << uri;
  }
  EXPECT_EQ(coordinator_.managedObjectIDForURIRepresentation(nullptr), nullptr);
}

TEST_F(Coordinator, ListsStoresInOrderWithTheirMetadata) {
  const auto& stores = coordinator_.persistentStores();
  ASSERT_EQ(stores.size(), 2u);
  EXPECT_EQ(stores[0]->identifier(), "AUX-1");
  EXPECT_FALSE(stores[0]->hasEntity("Conversation"));
  EXPECT_TRUE(stores[1]->hasEntity("Conversation"));
  NSPersistentStore bare(Dictionary{{kStoreUUIDKey, Value(3)}});
  EXPECT_EQ(bare.identifier(), std::nullopt);
  EXPECT_FALSE(bare.hasEntity("Conversation"));
}

TEST(ManagedObjectID, PrintsItsURIAsCoreDataDoes) {
  NSManagedObjectID id("U", "Conversation", 3);
  EXPECT_EQ(id.URIRepresentation()->absoluteString(), "x-coredata://U/Conversation/p3");
  std::string d = id.description();
  EXPECT_EQ(d.substr(0, 2), "0x");
  EXPECT_EQ(d.substr(d.find(' ')), " <x-coredata://U/Conversation/p3>");
}

}  // namespace
}  // namespace platform::messenger
