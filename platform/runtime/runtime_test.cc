#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/runtime/class_registry.h"
#include "platform/runtime/method_table.h"
#include "platform/runtime/tweak_loader.h"

namespace platform::runtime {
namespace {

namespace fs = std::filesystem;
using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

struct Widget : ObjCClass {
  std::string name() const override { return "Widget"; }
};

TEST(ClassRegistry, LooksClassesUpByNameAndKind) {
  EXPECT_EQ(objc_getClass("Widget"), nullptr);
  registerClass(std::make_shared<Widget>());
  EXPECT_NE(lookUpClass<Widget>("Widget"), nullptr);
  EXPECT_EQ(lookUpClass<Widget>("widget"), nullptr);
  unregisterClass("Widget");
  EXPECT_EQ(objc_getClass("Widget"), nullptr);
}

TEST(MethodTable, ReplacementGetsTheDisplacedImplementation) {
  Widget cls;
  cls.methods().define<int(int)>("twice:", [](int x) { return 2 * x; });
  std::function<int(int)> original;
  original = MSHookMessageEx<int(int)>(cls, "twice:", [&](int x) { return original(x) + 1; });
  EXPECT_EQ(cls.methods().implementation<int(int)>("twice:")(5), 11);
  EXPECT_FALSE(MSHookMessageEx<int(int)>(cls, "absent:", [](int) { return 0; }));
  EXPECT_THROW(cls.methods().implementation<void()>("twice:"), platform::Error);
}

TEST(TweakLoader, SelectsLibrariesWhoseFilterNamesTheBundle) {
  foundation::testing::ScratchFolder scratch("tweaks");
  const fs::path& dir = scratch.path();
  auto filter = [](std::initializer_list<const char*> ids) {
    Array bundles;
    for (auto* id : ids) bundles.push_back(Value(id));
    return Dictionary{{"Filter", Value(Dictionary{{"Bundles", Value(bundles)}})}};
  };
  foundation::writeDictionaryFileAtomically(dir / "B.plist",
                                            filter({"com.viber", "com.apple.springboard"}));
  foundation::writeDictionaryFileAtomically(dir / "A.plist", filter({"com.viber"}));
  foundation::writeDictionaryFileAtomically(dir / "C.plist", filter({"com.other"}));
  foundation::writeDictionaryFileAtomically(dir / "D.plist", {{"Filter", Value("bad")}});
  for (auto* lib : {"A.so", "B.so", "C.so", "D.so"}) std::ofstream(dir / lib) << "";
  auto names = [&](const std::string& id) {
    std::string out;
    for (auto& p : tweaksForBundle(dir, id)) out += p.filename().string() + " ";
    return out;
  };
  EXPECT_EQ(names("com.viber"), "A.so B.so ");
  EXPECT_EQ(names("com.apple.springboard"), "B.so ");
  EXPECT_EQ(names("com.Viber"), "");
}

}  // namespace
}  // namespace platform::runtime
