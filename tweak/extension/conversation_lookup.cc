// getConversationIDForMessageWithToken and getConversationIDForNumber: a
// notification's token, or its phone number and group, turned into the key of
// a ZCONVERSATION row by one read-only statement on Viber's database.
#include "platform/foundation/log.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/database_access.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

namespace {

using platform::foundation::NSLog;

// The token stands as a parameter; ZTOKEN has integer affinity, so a token
// given as decimal text still compares as a number and uses the token index.
constexpr const char* kTokenStatement =
    "SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = ?1;";

constexpr const char* kNumberInGroupStatement =
    "select z_4conversations from z_4phonenumindexes, zphonenumberindex, zconversation where "
    "zphonenumberindex.zphonenum=?1 and z_8phonenumindexes= zphonenumberindex.z_pk and "
    "z_4conversations = zconversation.z_pk and zconversation.zgroupid = ?2 order by "
    "z_4conversations desc limit 1;";

constexpr const char* kNumberAloneStatement =
    "select z_4conversations from z_4phonenumindexes, zphonenumberindex, zconversation where "
    "zphonenumberindex.zphonenum=?1 and z_8phonenumindexes= zphonenumberindex.z_pk and "
    "z_4conversations = zconversation.z_pk and zconversation.zgroupid is null order by "
    "z_4conversations desc limit 1;";

sqlite::Parameter parameter(const std::optional<std::string>& value) {
  if (!value) return std::monostate{};
  return *value;
}

// Runs one lookup statement; the last row's first column wins.
std::optional<std::string> lookUp(const std::string& path, const std::string& sql,
                                  const std::vector<sqlite::Parameter>& parameters) {
  auto db = openViberDatabase(path);
  if (!db) return std::nullopt;
  auto statement = prepareStatement(*db, sql, parameters);
  if (!statement) return std::nullopt;
  std::optional<std::string> result;
  while (statement.step()) {
    result = columnText(statement, 0);
    if (settings().debugMode) {
      NSLog("PXVIBER: Found conversation ID: {}", platform::foundation::describe(result));
    }
  }
  return result;
}

}  // namespace

std::optional<std::string> ORVViberCouriaExtension::getConversationIDForMessageWithToken(
    const std::optional<std::string>& token) {
  std::string path = viberDatabasePath();
  if (settings().debugMode) NSLog("PXVIBER: DB path: {}", path);
  return lookUp(path, kTokenStatement, {parameter(token)});
}

std::optional<std::string> ORVViberCouriaExtension::getConversationIDForNumber(
    const std::optional<std::string>& number, const std::optional<std::string>& group) {
  std::string path = viberDatabasePath();
  if (settings().debugMode) NSLog("PXVIBER: getConversationIDForNumber DB path: {}", path);
  if (group) return lookUp(path, kNumberInGroupStatement, {parameter(number), *group});
  return lookUp(path, kNumberAloneStatement, {parameter(number)});
}

}  // namespace tweak
