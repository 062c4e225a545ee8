#include "platform/viberdb/sample_content.h"

#include <optional>
#include <tuple>
#include <utility>

namespace platform::viberdb {

namespace {

constexpr double kMinute = 60;
constexpr double kHour = 60 * kMinute;
constexpr double kDay = 24 * kHour;
constexpr std::int64_t kFirstToken = 6200000000000000001;

// Adds the messages of one conversation and counts them.
class Writer {
 public:
  Writer(ViberDatabase& db, foundation::Date now) : db_(db), now_(now) {}

  // One message `ago` seconds before now; `author` nullopt for the user's own.
  std::int64_t add(std::int64_t conversation, std::optional<std::int64_t> author,
                   std::optional<std::string> text, double ago) {
    NewMessage m;
    m.conversation = conversation;
    m.phoneNumIndex = author;
    m.text = std::move(text);
    m.date = foundation::Date{now_.sinceReferenceDate - ago};
    m.token = token_++;
    // The user's own messages are read; others' of the last hour are not yet,
    // so the chats that notifications come from show an unread count.
    m.read = !author || ago >= kHour;
    db_.insertMessage(m);
    ++count_;
    if (ago <= 3 * kDay) ++recent_;
    return *m.token;
  }

  // The counts since the last call.
  std::pair<int, int> take() { return {std::exchange(count_, 0), std::exchange(recent_, 0)}; }

 private:
  ViberDatabase& db_;
  foundation::Date now_;
  std::int64_t token_ = kFirstToken;
  int count_ = 0;
  int recent_ = 0;
};

}  // namespace

SampleContent writeSampleContent(ViberDatabase& db, foundation::Date now) {
  SampleContent s;
  db.transaction([&] {
    auto person = [&](std::string number, std::optional<std::string> main,
                      std::optional<std::string> suffix, std::string shown) {
      std::optional<std::int64_t> contact;
      if (main || suffix) contact = db.addContact(main, suffix);
      return SampleContent::Person{number, db.addPhoneNumber(number, contact), std::move(shown)};
    };
    s.alice = person("+15550100001", "Alice", "Smith", "Alice Smith");
    s.bob = person("+15550100002", "Bob", std::nullopt, "Bob");
    s.zoe = person("+4915100100003", "Zoë", "Ångström", "Zoë Ångström");
    s.dave = person("+15550100004", std::nullopt, std::nullopt, "+15550100004");
    s.okafor = person("+2348000100005", std::nullopt, "Okafor", "Okafor");

    s.weekendGroupId = "5712345678901234567";
    s.bookClubGroupId = "5712345678901234568";
    s.aliceChat = db.addConversation({std::nullopt, std::nullopt, {s.alice.phoneNumIndex}});
    s.bobChat = db.addConversation({std::nullopt, std::nullopt, {s.bob.phoneNumIndex}});
    s.zoeChat = db.addConversation({std::nullopt, std::nullopt, {s.zoe.phoneNumIndex}});
    s.weekendGroup = db.addConversation({s.weekendGroupId,
                                         "Weekend trip",
                                         {s.alice.phoneNumIndex, s.zoe.phoneNumIndex,
                                          s.dave.phoneNumIndex, s.okafor.phoneNumIndex}});
    s.bookClub = db.addConversation(
        {s.bookClubGroupId, "Book club", {s.alice.phoneNumIndex, s.bob.phoneNumIndex}});

    Writer w(db, now);
    const std::int64_t a = s.alice.phoneNumIndex;
    const std::nullopt_t me = std::nullopt;
    w.add(s.aliceChat, a, "Long time no see!", 30 * kDay);
    w.add(s.aliceChat, me, "Are you coming to the concert?", 5 * kDay);
    w.add(s.aliceChat, a, "Maybe, I'll let you know", 4 * kDay);
    w.add(s.aliceChat, a, "Yes! Count me in 🎉", 2 * kDay + 5 * kHour);
    w.add(s.aliceChat, me, "Great 👍", 2 * kDay + 4 * kHour);
    w.add(s.aliceChat, a, std::nullopt, kDay + 3 * kHour);
    w.add(s.aliceChat, me, "", kDay + 2 * kHour);
    w.add(s.aliceChat, a, "Café at 7? Ça va?", 20 * kHour);
    w.add(s.aliceChat, me, "Sure", 19 * kHour);
    w.add(s.aliceChat, a, "Running late", 5 * kHour);
    w.add(s.aliceChat, me, "No worries", 3 * kHour);
    w.add(s.aliceChat, a, "Here now", 2 * kHour);
    w.add(s.aliceChat, me, "On my way", kHour);
    s.aliceLatestToken = w.add(s.aliceChat, a, "Where are you? 😀", 40 * kMinute);
    std::tie(s.aliceMessages, s.aliceWithin3Days) = w.take();

    w.add(s.bobChat, s.bob.phoneNumIndex, "Did you get the invoice?", 10 * kDay);
    w.add(s.bobChat, me, "Yes, paying tomorrow", 9 * kDay);
    w.add(s.bobChat, s.bob.phoneNumIndex, "Thanks!", 4 * kDay);
    s.bobLatestToken = w.add(s.bobChat, s.bob.phoneNumIndex, "Lunch today?", 2 * kHour);
    w.take();

    w.add(s.zoeChat, s.zoe.phoneNumIndex, "Grüße aus Köln! Ünïcödé ✓", 6 * kHour);
    w.add(s.zoeChat, me, "Danke schön", 5 * kHour);
    s.zoeLatestToken = w.add(s.zoeChat, s.zoe.phoneNumIndex, "Привет 👋 こんにちは", 30 * kMinute);
    w.take();

    const std::int64_t g = s.weekendGroup;
    w.add(g, me, "Who's in for the weekend trip?", 6 * kDay);
    w.add(g, a, "Me!", 2 * kDay);
    w.add(g, s.dave.phoneNumIndex, "Count me in", 2 * kDay - 10 * kMinute);
    w.add(g, s.okafor.phoneNumIndex, "I'll drive", kDay + kHour);
    w.add(g, s.zoe.phoneNumIndex, std::nullopt, kDay);
    w.add(g, me, "", 20 * kHour);
    w.add(g, s.dave.phoneNumIndex, "", 10 * kHour);
    w.add(g, me, "Packing list?", 5 * kHour);
    w.add(g, s.zoe.phoneNumIndex, "Tent, 🍫 and snacks", 50 * kMinute);
    s.weekendLatestToken = w.add(g, s.okafor.phoneNumIndex, "Leaving at 8", 45 * kMinute);
    std::tie(s.weekendMessages, s.weekendWithin3Days) = w.take();

    w.add(s.bookClub, s.bob.phoneNumIndex, "Chapter 3 tonight", 3 * kHour);
    s.bookClubLatestToken = w.add(s.bookClub, a, "Done reading", 90 * kMinute);
  });
  return s;
}

SampleContent createSampleDatabase(const std::filesystem::path& file, foundation::Date now) {
  ViberDatabase db = ViberDatabase::create(file);
  return writeSampleContent(db, now);
}

}  // namespace platform::viberdb
