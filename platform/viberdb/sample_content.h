// The sample content of a new device's Viber database: a few conversations that
// cover what the reply panel must show right.
//
//   Alice Smith   one-to-one, 14 messages from 40 minutes to 30 days ago, both
//                 directions, one NULL and one empty text, emoji, and messages
//                 older than the default window of three days
//   Bob           one-to-one, messages older than three days only, plus one today
//   Zoë Ångström  one-to-one in non-ASCII text
//   "Weekend trip" a group: Alice (main and suffix name), Zoë, Dave (a number
//                 without contact) and Okafor (a suffix name only), with the
//                 user's own messages among theirs, NULL and empty texts
//   Alice (group "Book club", a second group that shares Alice's number)
//
// Dates are relative to `now`; every message has a distinct token. Messages
// of others from the last hour are unread (Alice's latest, Zoë's latest and
// the group's two latest), the rest read. The struct
// below names the keys, numbers and tokens so that tests and the demo need not
// know the order of insertion.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/foundation/value.h"
#include "platform/viberdb/viber_database.h"

namespace platform::viberdb {

struct SampleContent {
  struct Person {
    std::string number;
    std::int64_t phoneNumIndex = 0;
    std::string displayName;  // how the notification names them ("" for none)
  };
  Person alice, bob, zoe, dave, okafor;

  std::int64_t aliceChat = 0;  // Z_PK of the one-to-one chats
  std::int64_t bobChat = 0;
  std::int64_t zoeChat = 0;
  std::int64_t weekendGroup = 0;  // Z_PK of the groups
  std::int64_t bookClub = 0;
  std::string weekendGroupId;
  std::string bookClubGroupId;

  // The token of the newest message of each conversation.
  std::int64_t aliceLatestToken = 0;
  std::int64_t bobLatestToken = 0;
  std::int64_t zoeLatestToken = 0;
  std::int64_t weekendLatestToken = 0;
  std::int64_t bookClubLatestToken = 0;

  // The number of messages of each conversation, and of those the ones within
  // the last three days.
  int aliceMessages = 0, aliceWithin3Days = 0;
  int weekendMessages = 0, weekendWithin3Days = 0;
};

// Adds the sample content to an empty database, in one transaction.
SampleContent writeSampleContent(ViberDatabase& db, foundation::Date now);

// Creates `file` with the schema and the sample content.
SampleContent createSampleDatabase(const std::filesystem::path& file, foundation::Date now);

}  // namespace platform::viberdb
