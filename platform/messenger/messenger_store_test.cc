// The messenger owns its store: it numbers rows with the store's own entity
// numbers, and refuses at once a store it could not write.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/foundation/error.h"
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/testing/sample_container.h"
#include "sqlite/statement.h"

namespace platform::messenger {
namespace {

class MessengerStore : public testing::SampleContainerTest {
 protected:
  void change(const std::string& sql) { viberdb::ViberDatabase::open(databaseFile()).execute(sql); }

  // The message of an open refused, or "opened".
  std::string openRefusal() {
    try {
      MessengerDatabase::open(container_);
      return "opened";
    } catch (const Error& e) {
      return e.what();
    }
  }
};

TEST_F(MessengerStore, RowsTakeTheEntityNumbersOfTheStoreItself) {
  // A store that numbered its entities otherwise than a new one would.
  change(
      "UPDATE Z_PRIMARYKEY SET Z_ENT = Z_ENT + 20;"
      "UPDATE ZVIBERMESSAGE SET Z_ENT = Z_ENT + 20;");
  auto db = MessengerDatabase::open(container_);
  std::int64_t maxBefore = sqlite::queryInteger(
      db->database().connection(), "SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_NAME = 'ViberMessage'");
  auto sent = db->sendText(sample_.aliceChat, "numbered right");
  EXPECT_EQ(sent.pk, maxBefore + 1);
  EXPECT_EQ(sqlite::queryInteger(
                db->database().connection(),
                "SELECT Z_ENT FROM ZVIBERMESSAGE WHERE Z_PK = " + std::to_string(sent.pk)),
            29);
  EXPECT_EQ(db->database().entityNumber(viberdb::Entity::ViberMessage), 29);
}

TEST_F(MessengerStore, AStoreWithoutATableOrAColumnItWritesIsRefusedAtOpen) {
  change("DROP TABLE ZATTACHMENT");
  EXPECT_NE(openRefusal().find("no such table: ZATTACHMENT"), std::string::npos) << openRefusal();
  std::filesystem::remove_all(container_ / "Documents");
  std::filesystem::create_directories(container_ / kAttachmentsRelativePath);
  viberdb::createSampleDatabase(databaseFile(), viberdb::now());
  change("ALTER TABLE ZVIBERMESSAGE DROP COLUMN ZSTATE");
  EXPECT_NE(openRefusal().find("no column named ZSTATE"), std::string::npos) << openRefusal();
}

TEST_F(MessengerStore, AStoreWithoutAPrimaryKeyRowForWhatItWritesIsRefused) {
  change("DELETE FROM Z_PRIMARYKEY WHERE Z_NAME = 'Attachment'");
  EXPECT_EQ(openRefusal(), "Viber database: Z_PRIMARYKEY has no entity Attachment");
}

TEST_F(MessengerStore, AReadOnlyStoreIsRefusedAtOpen) {
  // Permission bits do not stop the superuser: the open runs as nobody then.
  for (auto p = databaseFile(); p != p.root_path(); p = p.parent_path()) {
    if (p.string().rfind(container_.string(), 0) == 0 || p == container_) {
      ::chmod(p.c_str(), std::filesystem::is_directory(p) ? 0555 : 0444);
    }
  }
  // The scratch folder's own folder is the system's temporary folder, which
  // anyone may pass through already; it is left as it is, since changing it
  // would change it for every program on the machine.
  std::filesystem::permissions(
      container_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                      std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                      std::filesystem::perms::others_exec);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    std::string refusal = openRefusal();
    ::_exit(refusal.find("cannot be written (read-only)") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace platform::messenger
