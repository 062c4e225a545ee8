#include "platform/viberdb/large_database.h"

#include <algorithm>
#include <random>
#include <vector>

#include "platform/foundation/error.h"
#include "sqlite/statement.h"

namespace platform::viberdb {

namespace {

constexpr double kDay = 86400;
constexpr std::int64_t kFirstToken = 7100000000000000001;
constexpr std::int64_t kHotConversation = 1;
constexpr std::int64_t kMediumConversation = 2;

struct Slot {
  double date;  // since the reference date
  std::int32_t conversation;
  std::int32_t author;  // index into the conversation's members, -1 for the user
};

std::string numberFor(std::int64_t i) { return "+1555" + std::to_string(2000000 + i); }

std::string groupIdFor(std::int64_t conversation) {
  return std::to_string(5800000000000000000 + conversation);
}

}  // namespace

LargeDatabaseInfo generateLargeDatabase(const std::filesystem::path& file,
                                        const LargeDatabaseOptions& o, foundation::Date now) {
  if (o.conversations < 3 || o.hotMessages + o.mediumMessages > o.messages) {
    throw Error("large Viber database: the options leave no room for the other conversations");
  }
  std::mt19937_64 rng(o.seed);
  ViberDatabase db = ViberDatabase::create(file);
  // Bulk loading: no fsync per page; the file is rebuilt if the run is killed.
  db.execute("PRAGMA synchronous=OFF");

  // Members: one number per one-to-one chat, groups draw from the same pool.
  std::vector<std::vector<std::int64_t>> members(static_cast<std::size_t>(o.conversations) + 1);
  std::vector<std::string> texts = {"ok",
                                    "See you soon",
                                    "Thanks!",
                                    "Where are you?",
                                    "Running 10 minutes late, sorry",
                                    "😀",
                                    "Café? 🙂",
                                    "Did you get my message about tomorrow's meeting?"};
  db.transaction([&] {
    std::vector<std::int64_t> numbers;
    for (std::int64_t i = 1; i <= o.conversations; ++i) {
      std::optional<std::int64_t> contact;
      if (i % 5 != 0) {
        contact =
            db.addContact("Person" + std::to_string(i),
                          i % 3 == 0 ? std::nullopt : std::optional("Family" + std::to_string(i)));
      }
      numbers.push_back(db.addPhoneNumber(numberFor(i), contact));
    }
    for (std::int64_t c = 1; c <= o.conversations; ++c) {
      NewConversation nc;
      bool group = c > kMediumConversation && c % 10 == 0;
      if (group) {
        nc.groupId = groupIdFor(c);
        nc.name = "Group " + std::to_string(c);
        std::size_t size = 3 + rng() % 4;
        for (std::size_t k = 0; k < size; ++k)
          nc.phoneNumIndexes.push_back(numbers[rng() % numbers.size()]);
        nc.phoneNumIndexes.push_back(numbers[static_cast<std::size_t>(c - 1)]);
        std::sort(nc.phoneNumIndexes.begin(), nc.phoneNumIndexes.end());
        nc.phoneNumIndexes.erase(std::unique(nc.phoneNumIndexes.begin(), nc.phoneNumIndexes.end()),
                                 nc.phoneNumIndexes.end());
      } else {
        nc.phoneNumIndexes.push_back(numbers[static_cast<std::size_t>(c - 1)]);
      }
      members[static_cast<std::size_t>(c)] = nc.phoneNumIndexes;
      db.addConversation(nc);
    }
  });

  // Every message's date and conversation, then sorted by date.
  std::vector<Slot> slots;
  slots.reserve(static_cast<std::size_t>(o.messages));
  const double span = o.hotYears * 365.25 * kDay;
  const double end = now.sinceReferenceDate - 60;
  std::uniform_real_distribution<double> anyTime(end - span, end);
  for (std::int64_t i = 0; i < o.hotMessages; ++i) {
    slots.push_back({end - span * static_cast<double>(i) / static_cast<double>(o.hotMessages),
                     static_cast<std::int32_t>(kHotConversation), 0});
  }
  for (std::int64_t i = 0; i < o.mediumMessages; ++i) {
    slots.push_back({anyTime(rng), static_cast<std::int32_t>(kMediumConversation), 0});
  }
  // The rest: sizes skewed towards the low keys, as a few chats hold most talk.
  std::int64_t rest = o.messages - o.hotMessages - o.mediumMessages;
  std::int64_t others = o.conversations - 2;
  for (std::int64_t i = 0; i < rest; ++i) {
    double u = std::uniform_real_distribution<double>(0, 1)(rng);
    std::int64_t c = 3 + static_cast<std::int64_t>(u * u * static_cast<double>(others));
    slots.push_back({anyTime(rng), static_cast<std::int32_t>(std::min(c, o.conversations)), 0});
  }
  for (auto& s : slots) {
    const auto& m = members[static_cast<std::size_t>(s.conversation)];
    std::int64_t pick = static_cast<std::int64_t>(rng() % (m.size() + 1));
    s.author = pick == static_cast<std::int64_t>(m.size()) ? -1 : static_cast<std::int32_t>(pick);
  }
  std::sort(slots.begin(), slots.end(),
            [](const Slot& a, const Slot& b) { return a.date < b.date; });

  std::int64_t token = kFirstToken;
  const std::size_t batch = 50'000;
  for (std::size_t start = 0; start < slots.size(); start += batch) {
    db.transaction([&] {
      for (std::size_t i = start; i < std::min(slots.size(), start + batch); ++i) {
        const Slot& s = slots[i];
        NewMessage m;
        m.conversation = s.conversation;
        if (s.author >= 0) {
          m.phoneNumIndex =
              members[static_cast<std::size_t>(s.conversation)][static_cast<std::size_t>(s.author)];
        }
        if (i % 97 == 0) {
          m.text = std::nullopt;  // a sticker or a call notice: no text
        } else {
          m.text = texts[i % texts.size()];
        }
        m.date = foundation::Date{s.date};
        m.token = token++;
        db.insertMessage(m);
      }
    });
  }
  db.execute("PRAGMA wal_checkpoint(TRUNCATE)");
  return describeLargeDatabase(db);
}

LargeDatabaseInfo describeLargeDatabase(ViberDatabase& db) {
  sqlite::Connection& h = db.connection();
  LargeDatabaseInfo info;
  info.hotConversation = kHotConversation;
  info.hotLatestToken = sqlite::queryInteger(
      h, "SELECT ZTOKEN FROM ZVIBERMESSAGE WHERE ZCONVERSATION = 1 ORDER BY ZTOKEN DESC LIMIT 1");
  info.mediumConversation = kMediumConversation;
  info.mediumMessages =
      sqlite::queryInteger(h, "SELECT COUNT(*) FROM ZVIBERMESSAGE WHERE ZCONVERSATION = 2");
  info.groupConversation =
      sqlite::queryInteger(h, "SELECT MAX(Z_PK) FROM ZCONVERSATION WHERE ZGROUPID IS NOT NULL");
  info.groupId = sqlite::queryText(h, "SELECT ZGROUPID FROM ZCONVERSATION WHERE Z_PK = " +
                                          std::to_string(info.groupConversation));
  info.groupMemberNumber = sqlite::queryText(
      h,
      "SELECT P.ZPHONENUM FROM Z_4PHONENUMINDEXES AS J JOIN ZPHONENUMBERINDEX AS P ON P.Z_PK = "
      "J.Z_8PHONENUMINDEXES WHERE J.Z_4CONVERSATIONS = " +
          std::to_string(info.groupConversation) + " ORDER BY P.Z_PK LIMIT 1");
  info.messages = db.countRows("ZVIBERMESSAGE");
  return info;
}

}  // namespace platform::viberdb
