#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace platform::foundation {
namespace {

namespace fs = std::filesystem;

class PropertyListFile : public ::testing::Test {
 protected:
  void writeRaw(const std::string& text) { std::ofstream(path_) << text; }

  // The file's keys, "k=v" joined by commas, or "NONE" when it is not a dictionary.
  std::string contents() {
    auto d = readDictionaryFile(path_);
    if (!d) return "NONE";
    std::string out;
    for (auto& [k, v] : *d) out += (out.empty() ? "" : ",") + k + "=" + v.description();
    return out;
  }

  testing::ScratchFolder scratch_{"plist-test"};
  fs::path dir_ = scratch_.path();
  fs::path path_ = dir_ / "settings.plist";
};

TEST_F(PropertyListFile, ReadsXmlAndBinaryAndRoundTripsEveryKind) {
  Dictionary d{{"b", Value(true)},
               {"i", Value(-42)},
               {"r", Value(2.5)},
               {"s", Value("héllo 👋")},
               {"data", Value(Data{0, 255})},
               {"date", Value(Date{1000})},  // XML dates keep whole seconds
               {"a", Value(Array{Value(1), Value("x")})},
               {"d", Value(Dictionary{{"k", Value("v")}})}};
  for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
    Bytes bytes = serializePropertyList(Value(d), format);
    ASSERT_FALSE(bytes.empty());
    auto back = parsePropertyList(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, Value(d));
  }
}

TEST_F(PropertyListFile, MissingUnreadableMalformedOrNonDictionaryGiveNothing) {
  EXPECT_EQ(contents(), "NONE");
  writeRaw("not a plist at all");
  EXPECT_EQ(contents(), "NONE");
  writeRaw(
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
  EXPECT_EQ(contents(), "NONE");
  writeRaw(
      "<?xml version=\"1.0\"?><plist "
      "version=\"1.0\"><dict><key>k</key><string>v</string></dict></plist>");
  EXPECT_EQ(contents(), "k=v");
  if (::geteuid() != 0) {  // root reads through any mode
    fs::permissions(path_, fs::perms::none);
    EXPECT_EQ(contents(), "NONE");
  }
}

TEST_F(PropertyListFile, UpdateKeepsKeysItDoesNotSet) {
  ASSERT_TRUE(writeDictionaryFileAtomically(path_, {{"debugMode", Value(true)}, {"x", Value(1)}}));
  auto r = updateDictionaryFile(path_, [](Dictionary& d) { d["conversationID"] = Value("7"); });
  EXPECT_TRUE(r.written);
  EXPECT_FALSE(r.keptAside);
  EXPECT_EQ(contents(), "conversationID=7,debugMode=1,x=1");
}

TEST_F(PropertyListFile, UpdateOfAbsentFileHoldsOnlyTheWritersKeys) {
  updateDictionaryFile(path_, [](Dictionary& d) { d["messageText"] = Value("hi"); });
  EXPECT_EQ(contents(), "messageText=hi");
}

TEST_F(PropertyListFile, UpdateKeepsAnUnreadableFileAside) {
  writeRaw("<plist><dict><key>debugMode</key><true/>");  // cut off mid-way
  auto r = updateDictionaryFile(path_, [](Dictionary& d) { d["alertTitle"] = Value("t"); });
  ASSERT_TRUE(r.keptAside);
  EXPECT_EQ(contents(), "alertTitle=t");
  std::ifstream aside(*r.keptAside);
  std::string kept((std::istreambuf_iterator<char>(aside)), {});
  EXPECT_EQ(kept, "<plist><dict><key>debugMode</key><true/>");
}

// Writers in several processes, each adding its own keys, lose none of them.
TEST_F(PropertyListFile, ConcurrentWritersInSeveralProcessesLoseNoKey) {
  constexpr int kProcesses = 4, kWrites = 50;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    if (pid == 0) {
      for (int i = 0; i < kWrites; ++i) {
        updateDictionaryFile(path_, [&](Dictionary& d) {
          d["p" + std::to_string(p) + "_" + std::to_string(i)] = Value(i);
        });
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t c : children) ::waitpid(c, nullptr, 0);
  auto d = readDictionaryFile(path_);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->size(), size_t(kProcesses * kWrites));
}

}  // namespace
}  // namespace platform::foundation

namespace platform::foundation {
namespace {

// Binary property lists whose one string holds a NUL between "a" and "b", as
// ASCII and as UTF-16 text. The NUL must not stop the process; what follows it
// may be kept or cut.
TEST(PropertyListBytes, StringsWithANulInsideAreRead) {
  auto list = [](std::vector<std::uint8_t> object) {
    std::vector<std::uint8_t> bytes{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    bytes.insert(bytes.end(), object.begin(), object.end());
    auto table = static_cast<std::uint8_t>(bytes.size());
    bytes.push_back(0x08);  // the offset of object 0
    for (std::uint8_t b : {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) {
      bytes.push_back(b);
    }
    bytes.push_back(table);
    return bytes;
  };
  for (const auto& object : {std::vector<std::uint8_t>{0x53, 'a', 0, 'b'},
                             std::vector<std::uint8_t>{0x63, 0, 'a', 0, 0, 0, 'b'}}) {
    auto v = parsePropertyList(list(object));
    ASSERT_TRUE(v && v->asString());
    EXPECT_EQ(v->asString()->substr(0, 1), "a");
  }
}

// A dictionary whose key holds a NUL: refused, binary or XML.
TEST(PropertyListBytes, KeysWithANulInsideAreRefused) {
  for (std::uint8_t marker : {0x53, 0x63}) {
    std::vector<std::uint8_t> key = marker == 0x53
                                        ? std::vector<std::uint8_t>{0x53, 'a', 0, 'b'}
                                        : std::vector<std::uint8_t>{0x63, 0, 'a', 0, 0, 0, 'b'};
    std::vector<std::uint8_t> bytes{'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xD1, 1, 2};
    auto keyAt = static_cast<std::uint8_t>(bytes.size());
    bytes.insert(bytes.end(), key.begin(), key.end());
    auto valueAt = static_cast<std::uint8_t>(bytes.size());
    bytes.push_back(0x09);  // true
    auto table = static_cast<std::uint8_t>(bytes.size());
    for (std::uint8_t b : {std::uint8_t(8), keyAt, valueAt}) bytes.push_back(b);
    for (std::uint8_t b : {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) {
      bytes.push_back(b);
    }
    bytes.push_back(table);
    EXPECT_FALSE(parsePropertyList(bytes));
    // The same list with a plain key reads.
    bytes[keyAt + (marker == 0x53 ? 2 : 4)] = 'x';
    auto v = parsePropertyList(bytes);
    ASSERT_TRUE(v && v->asDictionary());
    EXPECT_EQ(v->asDictionary()->size(), 1u);
  }
  std::string xml =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a&#x00;b</key><true/></dict>"
      "</plist>";
  EXPECT_FALSE(
      parsePropertyList(std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size())));
}

}  // namespace
}  // namespace platform::foundation
