// A large Viber database for benchmarks: many conversations, one of them hot.
//
// The default is 1,000,000 messages over 5,000 conversations; conversation 1 is
// the hot one, with 100,000 messages spread evenly over the last three years (so
// about 270 of them fall in a three-day window), and conversation 2 has exactly
// 1,000. The others share the rest with uneven sizes; one in ten is a group of
// three to six members. Messages are inserted in date order, interleaved across
// conversations, as a messenger receives them; tokens rise with the date.
// Generation is deterministic for a seed, apart from dates, which are relative
// to `now`.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/foundation/value.h"
#include "platform/viberdb/viber_database.h"

namespace platform::viberdb {

struct LargeDatabaseOptions {
  std::int64_t messages = 1'000'000;
  std::int64_t conversations = 5'000;
  std::int64_t hotMessages = 100'000;
  double hotYears = 3;
  std::int64_t mediumMessages = 1'000;  // the size of conversation 2
  std::uint32_t seed = 20160101;
};

// Keys and values of a large database that benchmarks look up.
struct LargeDatabaseInfo {
  std::int64_t hotConversation = 0;
  std::int64_t hotLatestToken = 0;      // token of the hot conversation's newest message
  std::int64_t mediumConversation = 0;  // the conversation of mediumMessages messages
  std::int64_t mediumMessages = 0;
  std::int64_t groupConversation = 0;  // a group, for the number-and-group lookup
  std::string groupId;
  std::string groupMemberNumber;
  std::int64_t messages = 0;
};

// Creates `file` (which must not exist) with the schema and the content.
LargeDatabaseInfo generateLargeDatabase(const std::filesystem::path& file,
                                        const LargeDatabaseOptions& options, foundation::Date now);

// Reads the keys above back from a database made by generateLargeDatabase.
LargeDatabaseInfo describeLargeDatabase(ViberDatabase& db);

}  // namespace platform::viberdb
