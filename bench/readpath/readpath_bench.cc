// The read path on a large Viber database (1,000,000 messages, 5,000
// conversations, a hot one of 100,000 over three years): getUserIdentifier by
// token and by number and group, getMessages of the hot conversation (3 days /
// 10 messages, 3650 days / no limit) and of a conversation of 1,000 messages,
// each with the open and close that every call makes.
//
// Beside them, in the same run, the same statements in the sqlite3 shell on the
// same file ("Shell/..."): one shell process runs each statement kCalls times,
// each after ".open --readonly", and the time of a shell that only opens is
// subtracted, so the figure is one open, statement and close. "Shell/Specified"
// is the history statement as first written (a calendar shift of 31 years, the
// window and order on the local time text) for comparison.
//
// The database is made once in $PXVIBER_BENCH_DIR (default
// /tmp/pxviber-readpath-bench) and made again when it is older than six hours,
// since its dates are relative to the time it was made.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>
#include <stdexcept>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/remove_tree.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/app_list.h"
#include "platform/viberdb/large_database.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

constexpr const char* kData = "/private/var/mobile/Containers/Data/Application/BENCH";
constexpr const char* kBundle = "/private/var/containers/Bundle/Application/BENCH/Viber.app";
constexpr int kCalls = 200;

struct Bench {
  fs::path root;
  fs::path database;
  platform::viberdb::LargeDatabaseInfo info;
  std::shared_ptr<tweak::ORVViberCouriaExtension> extension;
};

Bench& bench() {
  static Bench b = [] {
    Bench b;
    const char* dir = std::getenv("PXVIBER_BENCH_DIR");
    b.root = dir ? dir : "/tmp/pxviber-readpath-bench";
    platform::foundation::setDeviceRoot(b.root);
    b.database = platform::foundation::hostPath(std::string(kData) + "/Documents/Contacts.data");
    std::error_code ec;
    auto age = fs::file_time_type::clock::now() - fs::last_write_time(b.database, ec);
    if (ec || age > std::chrono::hours(6)) {
      if (std::string left = platform::foundation::testing::removeTree(b.root); !left.empty()) {
        throw std::runtime_error(left);
      }
      fs::create_directories(platform::foundation::hostPath(kBundle));
      platform::foundation::writeDictionaryFileAtomically(
          platform::foundation::hostPath(std::string(kBundle) + "/Info.plist"),
          {{"CFBundleIdentifier", Value("com.viber")}});
      fs::create_directories(platform::foundation::hostPath(kData));
      platform::foundation::writeDictionaryFileAtomically(
          platform::foundation::hostPath(std::string(kData) +
                                         "/.com.apple.mobile_container_manager.metadata.plist"),
          {{"MCMMetadataIdentifier", Value("com.viber")}});
      std::cerr << "making the large database in " << b.database << "...\n";
      b.info = platform::viberdb::generateLargeDatabase(b.database, {}, platform::viberdb::now());
    } else {
      auto db = platform::viberdb::ViberDatabase::open(b.database);
      b.info = platform::viberdb::describeLargeDatabase(db);
    }
    platform::runtime::registerClass(
        std::make_shared<platform::springboard::ALApplicationListClass>(
            platform::springboard::makeDeviceApplicationList()));
    tweak::loadPreferences();
    b.extension = tweak::ORVViberCouriaExtension::create();
    return b;
  }();
  return b;
}

platform::springboard::BBBulletin remoteBulletin(Dictionary payload) {
  platform::springboard::BBBulletin b;
  b.sectionID = "com.viber";
  b.message = "Person: hello";
  b.context = {{"notificationType", Value("AppNotificationRemote")},
               {"remoteNotification", Value(std::move(payload))}};
  return b;
}

void GetUserIdentifierByToken(benchmark::State& state) {
  Bench& b = bench();
  auto bulletin = remoteBulletin({{"mt", Value(static_cast<long long>(b.info.hotLatestToken))}});
  for (auto _ : state) {
    auto user = b.extension->getUserIdentifier(bulletin);
    if (user != std::to_string(b.info.hotConversation)) state.SkipWithError("wrong conversation");
  }
}
BENCHMARK(GetUserIdentifierByToken)->Unit(benchmark::kMicrosecond);

void GetUserIdentifierByNumberAndGroup(benchmark::State& state) {
  Bench& b = bench();
  auto bulletin =
      remoteBulletin({{"fn", Value(b.info.groupMemberNumber)}, {"gi", Value(b.info.groupId)}});
  for (auto _ : state) {
    auto user = b.extension->getUserIdentifier(bulletin);
    if (!user) state.SkipWithError("no conversation");
  }
}
BENCHMARK(GetUserIdentifierByNumberAndGroup)->Unit(benchmark::kMicrosecond);

void GetMessages(benchmark::State& state, bool hot, std::int64_t days, std::int64_t limit) {
  Bench& b = bench();
  tweak::settings().fetchHistoryFromDB = true;
  tweak::settings().historyDaysToDisplay = days;
  tweak::settings().maxMessagesToDisplay = limit;
  std::string user = std::to_string(hot ? b.info.hotConversation : b.info.mediumConversation);
  std::size_t shown = 0;
  for (auto _ : state) {
    shown = b.extension->getMessages(user).size();
    benchmark::DoNotOptimize(shown);
  }
  state.counters["messages"] = static_cast<double>(shown);
}
BENCHMARK_CAPTURE(GetMessages, Hot_3days_10, true, 3, 10)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(GetMessages, Hot_3650days_all, true, 3650, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GetMessages, Medium1000_3650days_all, false, 3650, 0)
    ->Unit(benchmark::kMicrosecond);

// Seconds of wall time for one sqlite3 shell process running `script`.
double shellSeconds(const std::string& script) {
  fs::path file = fs::temp_directory_path() / ("readpath-bench-" + std::to_string(::getpid()));
  std::ofstream(file) << script;
  auto start = std::chrono::steady_clock::now();
  std::string command = "sqlite3 -batch < '" + file.string() + "' > /dev/null";
  int rc = std::system(command.c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::remove(file);
  return rc == 0 ? seconds : -1;
}

// One open, `statement` and close in the shell, by difference of two runs.
void Shell(benchmark::State& state, std::string statement) {
  Bench& b = bench();
  std::string open = ".open --readonly '" + b.database.string() + "'\n";
  std::string with, without;
  for (int i = 0; i < kCalls; ++i) {
    with += open + statement + "\n";
    without += open;
  }
  for (auto _ : state) {
    double a = shellSeconds(with);
    double z = shellSeconds(without);
    if (a < 0 || z < 0) {
      state.SkipWithError("the sqlite3 shell failed");
      break;
    }
    state.SetIterationTime(std::max(0.0, a - z) / kCalls);
  }
}

std::string historyStatement(std::int64_t conversation, std::int64_t days, std::int64_t limit) {
  return "SELECT M.ZCONVERSATION, datetime(M.ZDATE + 978307200, 'unixepoch', 'localtime') AS "
         "MDATE, M.ZTEXT, M.ZPHONENUMINDEX, ZMAINNAME, ZSUFFIXNAME AS FULLNAME, "
         "ZCONVERSATION.ZGROUPID FROM ZVIBERMESSAGE AS M LEFT OUTER JOIN ZPHONENUMBERINDEX ON "
         "ZPHONENUMBERINDEX.Z_PK = M.ZPHONENUMINDEX LEFT OUTER JOIN ZABCONTACT ON "
         "ZPHONENUMBERINDEX.ZCONTACT = ZABCONTACT.Z_PK LEFT OUTER JOIN ZCONVERSATION ON "
         "M.ZCONVERSATION = ZCONVERSATION.Z_PK WHERE M.ZCONVERSATION = '" +
         std::to_string(conversation) +
         "' AND M.ZDATE >= CAST(strftime('%s', 'now') AS INTEGER) - 978307200 - " +
         std::to_string(days) + " * 86400 ORDER BY M.ZDATE DESC, M.Z_PK DESC " +
         (limit ? " LIMIT " + std::to_string(limit) : "") + ";";
}

std::string specifiedStatement(std::int64_t conversation, std::int64_t days, std::int64_t limit) {
  return "SELECT M.ZCONVERSATION, datetime(M.ZDATE, 'unixepoch', '+31 years', 'localtime') AS "
         "MDATE, M.ZTEXT, M.ZPHONENUMINDEX, ZMAINNAME, ZSUFFIXNAME AS FULLNAME, "
         "ZCONVERSATION.ZGROUPID FROM ZVIBERMESSAGE AS M LEFT OUTER JOIN ZPHONENUMBERINDEX ON "
         "ZPHONENUMBERINDEX.Z_PK = M.ZPHONENUMINDEX LEFT OUTER JOIN ZABCONTACT ON "
         "ZPHONENUMBERINDEX.ZCONTACT = ZABCONTACT.Z_PK LEFT OUTER JOIN ZCONVERSATION ON "
         "M.ZCONVERSATION = ZCONVERSATION.Z_PK WHERE M.ZCONVERSATION = " +
         std::to_string(conversation) + " AND MDATE >= datetime('now','-" + std::to_string(days) +
         " day','localtime') ORDER BY MDATE DESC " +
         (limit ? " LIMIT " + std::to_string(limit) : "") + ";";
}

void RegisterShellBenchmarks() {
  auto add = [](const char* name, std::function<std::string()> statement) {
    benchmark::RegisterBenchmark(name, [statement](benchmark::State& s) { Shell(s, statement()); })
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMicrosecond);
  };
  add("Shell/TokenLookup", [] {
    return "SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = '" +
           std::to_string(bench().info.hotLatestToken) + "';";
  });
  add("Shell/NilTokenAndNumberGroupLookup", [] {
    const auto& i = bench().info;
    return std::string("SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = NULL;\n") +
           ".open --readonly '" + bench().database.string() +
           "'\nselect z_4conversations from z_4phonenumindexes, zphonenumberindex, zconversation "
           "where zphonenumberindex.zphonenum='" +
           i.groupMemberNumber +
           "' and z_8phonenumindexes= zphonenumberindex.z_pk and z_4conversations = "
           "zconversation.z_pk and zconversation.zgroupid = '" +
           i.groupId + "' order by z_4conversations desc limit 1;";
  });
  add("Shell/Hot_3days_10", [] { return historyStatement(bench().info.hotConversation, 3, 10); });
  add("Shell/Hot_3650days_all",
      [] { return historyStatement(bench().info.hotConversation, 3650, 0); });
  add("Shell/Medium1000_3650days_all",
      [] { return historyStatement(bench().info.mediumConversation, 3650, 0); });
  add("Shell/Specified_Hot_3days_10",
      [] { return specifiedStatement(bench().info.hotConversation, 3, 10); });
  add("Shell/Specified_Medium1000_3650days_all",
      [] { return specifiedStatement(bench().info.mediumConversation, 3650, 0); });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench();
  RegisterShellBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
