// getMessages: the newest messages of a conversation within the day window and
// the count limit of the settings, oldest first, for Couria's reply panel.
#include <algorithm>
#include <memory>

#include "platform/foundation/date_format.h"
#include "platform/foundation/log.h"
#include "tweak/core/preferences.h"
#include "tweak/core/viber_contract.h"
#include "tweak/extension/conversation_message.h"
#include "tweak/extension/database_access.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

namespace {

using platform::foundation::describe;
using platform::foundation::NSLog;
using platform::foundation::NSString;

// ZDATE counts from 2001-01-01 00:00:00 UTC. A calendar shift of 31 years
// lands a day early whenever those years hold seven leap days instead of
// eight, so the exact distance is added instead.
static_assert(viber::kDatabaseEpochOffset ==
              static_cast<std::int64_t>(platform::foundation::Date::kUnixToReference));

// The window and the order work on the stored number ZDATE, not on the local
// wall-clock text: SQLite then formats the time only for the rows it returns
// and sorts plain numbers. The two agree except within the hour that a
// daylight-saving change repeats, where the number keeps the true order.
// Messages stored with the same ZDATE come in the database's order (the key),
// newest first like the rest, so that the limit keeps the last ones stored.
constexpr const char* kStatementHead =
    "SELECT M.ZCONVERSATION, datetime(M.ZDATE + " PXVIBER_DATABASE_EPOCH_OFFSET_SQL
    ", 'unixepoch', 'localtime') AS MDATE, "
    "M.ZTEXT, M.ZPHONENUMINDEX, ZMAINNAME, ZSUFFIXNAME AS FULLNAME, ZCONVERSATION.ZGROUPID FROM "
    "ZVIBERMESSAGE AS M LEFT OUTER JOIN ZPHONENUMBERINDEX ON ZPHONENUMBERINDEX.Z_PK = "
    "M.ZPHONENUMINDEX LEFT OUTER JOIN ZABCONTACT ON ZPHONENUMBERINDEX.ZCONTACT = ZABCONTACT.Z_PK "
    "LEFT OUTER JOIN ZCONVERSATION ON M.ZCONVERSATION = ZCONVERSATION.Z_PK WHERE M.ZCONVERSATION "
    "= ?1 AND M.ZDATE >= CAST(strftime('%s', 'now') AS INTEGER) "
    "- " PXVIBER_DATABASE_EPOCH_OFFSET_SQL
    " - ?2 * 86400 ORDER "
    "BY M.ZDATE DESC, M.Z_PK DESC ";

// The day window and the count limit; negative settings count as 0.
std::int64_t nonNegative(std::int64_t v) { return std::max<std::int64_t>(v, 0); }

// authorDisplayName from the main and the suffix name (each "" for NULL, nullopt
// for invalid text).
std::optional<std::string> displayName(const std::optional<std::string>& main,
                                       const std::optional<std::string>& suffix) {
  if (main && suffix) return *main + " " + *suffix;
  if (suffix) return suffix;
  return main;
}

// One row of the statement as a message.
std::shared_ptr<ORVCouriaViberMessage> messageFromRow(const sqlite::Statement& row) {
  auto message = std::make_shared<ORVCouriaViberMessage>();
  message->setConversation(columnText(row, 0));
  message->setAuthorPhoneNumIndex(columnText(row, 3));
  message->setAuthorDisplayName(displayName(columnText(row, 4), columnText(row, 5)));
  std::optional<std::string> when = columnText(row, 1);
  message->setTimestamp(when ? platform::foundation::parseLocalDateTime(*when) : std::nullopt);
  std::optional<std::string> text = columnText(row, 2);
  if (!text || text->empty()) text.emplace(1, ' ');
  bool outgoing = message->authorPhoneNumIndex() == std::string();
  message->setOutgoing(outgoing);
  std::optional<std::string> group = columnText(row, 6);
  std::string content = *text;
  if (group != std::string() && !outgoing) {
    content = describe(message->authorDisplayName()) + ": " + *text;
  }
  message->setContent(std::make_shared<NSString>(std::move(content)));
  return message;
}

// Steps 2 to 9: the rows of the statement, newest first.
void readHistory(const platform::couria::UserIdentifier& user, std::int64_t days,
                 std::int64_t limit, std::vector<std::shared_ptr<ORVCouriaViberMessage>>& list) {
  std::string path = viberDatabasePath();
  if (settings().debugMode) NSLog("PXVIBER: DB path: {}", path);
  auto db = openViberDatabase(path);
  if (!db) return;
  std::string sql = std::string(kStatementHead) + (limit != 0 ? " LIMIT ?3" : "") + ";";
  std::vector<sqlite::Parameter> parameters(limit != 0 ? 3 : 2);
  if (user) parameters[0].emplace<std::string>(*user);
  parameters[1].emplace<std::int64_t>(days);
  if (limit != 0) parameters[2].emplace<std::int64_t>(limit);
  auto statement = prepareStatement(*db, sql, parameters);
  if (!statement) return;
  while (statement.step()) list.push_back(messageFromRow(statement));
  if (settings().debugMode) {
    NSLog("PXVIBER: Found {} messages in the DB for the last {} days. (displaying max {} messages)",
          list.size(), days, limit);
  }
}

// Step 11: the list sorted by timestamp, oldest first; a message without a
// time sorts before every dated one. The timestamps have whole seconds, so
// messages of the same second tie: they keep the database's order, oldest
// first, which is the reverse of the statement's. The times are read once, not
// at every comparison of the sort.
std::vector<std::shared_ptr<platform::couria::CouriaMessage>> oldestFirst(
    std::vector<std::shared_ptr<ORVCouriaViberMessage>> list) {
  std::vector<std::pair<std::optional<platform::foundation::Date>, std::size_t>> order;
  order.reserve(list.size());
  for (std::size_t i = list.size(); i-- > 0;) order.emplace_back(list[i]->timestamp(), i);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::shared_ptr<platform::couria::CouriaMessage>> sorted;
  sorted.reserve(list.size());
  for (const auto& [when, i] : order) sorted.push_back(std::move(list[i]));
  return sorted;
}

}  // namespace

std::vector<std::shared_ptr<platform::couria::CouriaMessage>> ORVViberCouriaExtension::getMessages(
    const platform::couria::UserIdentifier& user) {
  std::vector<std::shared_ptr<ORVCouriaViberMessage>> list;
  if (settings().fetchHistoryFromDB) {
    readHistory(user, nonNegative(settings().historyDaysToDisplay),
                nonNegative(settings().maxMessagesToDisplay), list);
  }
  if (settings().debugMode && !list.empty()) {
    NSLog("PXVIBER: latest message in DB is '{}', timestamp {}", describe(list.front()->content()),
          platform::foundation::describeDate(list.front()->timestamp()));
  }
  return oldestFirst(std::move(list));
}

}  // namespace tweak
