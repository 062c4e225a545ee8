// The send executor inside a real messenger (the sample database, the
// messenger's own DBManager methods, the capture installed) fed arbitrary
// mailbox files: any keys, any kinds, any conversation identifier text, and
// arbitrary queues of requests and outcomes. It must never fault; no picture
// outside the attachments folder may ever be taken in (every attachment the
// messenger registered names a file of that folder); no pass sends more
// messages than the file held requests; and the queue it leaves holds only
// well-formed requests.
//
// Inputs whose first byte is even are taken as the mailbox file's bytes; the
// others build a mailbox dictionary from the bytes, so that well-formed requests
// with hostile values are reached often.
#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/null_log.h"
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/messenger_methods.h"
#include "platform/notify/testing/fake_notify_center.h"
#include "platform/runloop/testing/fake_run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/viberdb/sample_content.h"
#include "sqlite/statement.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/send_executor.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/send_queue.h"

namespace {

namespace fs = std::filesystem;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;

struct Messenger {
  fs::path root;
  fs::path container;
  std::shared_ptr<platform::runloop::testing::FakeRunLoop> loop;
  std::shared_ptr<platform::notify::testing::FakeNotifyCenter> center;
  platform::messenger::DBManagerRef manager;  // the messenger's own reference
};

// The tweak's state as each input finds it: the messenger's manager captured,
// alerts and debug lines on, nothing else left from an earlier input.
void startInput(const Messenger& m) {
  tweak::resetProcessState();
  tweak::processState().capturedManager = m.manager;
  tweak::settings().showAlerts = true;
  tweak::settings().debugMode = true;
}

Messenger& messenger() {
  static Messenger m = [] {
    Messenger m;
    // A memory file system when there is one: every input rewrites the mailbox
    // and commits to the database, and flushes to a disk would set the pace.
    std::string tmpl =
        std::string(fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") + "/executor-fuzz-XXXXXX";
    m.root = ::mkdtemp(tmpl.data());
    fs::create_directories(m.root / "var/mobile/Library/Preferences");
    m.container = m.root / "var/mobile/Containers/Data/Application/VIBER";
    fs::create_directories(m.container / platform::messenger::kAttachmentsRelativePath);
    std::ofstream(m.container / "Documents/Attachments/present.jpg") << "jpeg";
    // Bait outside the folder, under names a hostile request would use.
    std::ofstream(m.container / "Documents/bait.jpg") << "outside";
    std::ofstream(m.container / "bait.jpg") << "outside";
    platform::viberdb::createSampleDatabase(m.container / platform::viberdb::kDatabaseRelativePath,
                                            platform::viberdb::now());
    platform::foundation::setDeviceRoot(m.root);
    platform::foundation::setLogSink(std::make_shared<platform::foundation::testing::NullLog>());
    m.loop = std::make_shared<platform::runloop::testing::FakeRunLoop>();
    m.center = std::make_shared<platform::notify::testing::FakeNotifyCenter>(*m.loop);
    platform::runloop::setMainRunLoop(m.loop);
    platform::notify::setDarwinNotifyCenter(m.center);
    auto cls = std::make_shared<platform::messenger::DBManagerClass>();
    platform::messenger::defineDBManagerMethods(*cls,
                                                {.dataContainer = m.container, .loop = m.loop});
    platform::runtime::registerClass(cls);
    tweak::installDBManagerCapture();
    m.manager = cls->alloc()->initWithAddressBook(nullptr);
    startInput(m);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(messenger().root, ec);
    });
    return m;
  }();
  return m;
}

// A value of any kind, hostile names and identifiers among them.
Value anyValue(FuzzedDataProvider& in) {
  static const char* const kNames[] = {"present.jpg",
                                       "../bait.jpg",
                                       "../../bait.jpg",
                                       "..",
                                       ".",
                                       "",
                                       "Attachments/present.jpg",
                                       "/etc/passwd",
                                       "present.jpg/",
                                       "..present.jpg",
                                       "present.jpg\n",
                                       "1",
                                       "42",
                                       "0",
                                       "-1",
                                       "99999999999999999999",
                                       "3 ",
                                       " 3",
                                       "p3",
                                       "3/Conversation/p4"};
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      return Value(std::string(in.PickValueInArray(kNames)));
    case 1:
      return Value(in.ConsumeRandomLengthString(64));
    case 2:
      return Value(static_cast<long long>(in.ConsumeIntegral<std::int64_t>()));
    case 3:
      return Value(in.ConsumeFloatingPoint<double>());
    case 4:
      return Value(in.ConsumeBool());
    case 5:
      return Value(Array{Value(in.ConsumeRandomLengthString(8))});
    case 6:
      return Value(Dictionary{{in.ConsumeRandomLengthString(8), Value(1)}});
    default:
      return Value(in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 8)));
  }
}

// A queued request: mostly well-formed, with any value under any of its keys.
Value anyRequest(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return anyValue(in);
  Dictionary r{{"requestID", Value("r" + std::to_string(in.ConsumeIntegral<std::uint16_t>()))},
               {"created", Value(tweak::queueNow() - in.ConsumeIntegralInRange(0, 200000))},
               {"conversationID", Value(std::to_string(in.ConsumeIntegralInRange(0, 8)))},
               {"messageText", Value(in.ConsumeRandomLengthString(16))}};
  for (const char* k :
       {"requestID", "created", "conversationID", "messageText", "messagePictureFile",
        "messagePictureFileWithPath", "attempts", "lastFailure", "nextAttempt", "sendingBy",
        "sendingSince", "sendingAfterKey", "conversationName"}) {
    if (in.ConsumeIntegralInRange(0, 5) == 0) r[k] = anyValue(in);
  }
  return Value(r);
}

// The requests the file holds: the queue's entries and the four keys.
std::size_t requestsIn(const Dictionary& d) {
  const Value* queue = platform::foundation::find(d, "pendingRequests");
  std::size_t n = queue && queue->asArray() ? queue->asArray()->size() : 0;
  return n + (platform::foundation::find(d, "conversationID") ? 1 : 0);
}

Dictionary structuredMailbox(FuzzedDataProvider& in) {
  Dictionary d;
  for (const char* k :
       {"messageText", "conversationID", "messagePictureFile", "messagePictureFileWithPath",
        "showAlerts", "alertTitle", "requestDeadlineSeconds"}) {
    if (in.ConsumeBool()) d[k] = anyValue(in);
  }
  for (const char* k : {"pendingRequests", "requestOutcomes"}) {
    if (!in.ConsumeBool()) continue;
    Array list;
    for (int n = in.ConsumeIntegralInRange(0, 6); n > 0; --n) list.push_back(anyRequest(in));
    d[k] = in.ConsumeIntegralInRange(0, 9) == 0 ? anyValue(in) : Value(list);
  }
  return d;
}

std::int64_t outgoingMessages(const Messenger& m) {
  return sqlite::queryInteger(m.manager->database()->database().connection(),
                              "SELECT COUNT(*) FROM ZVIBERMESSAGE WHERE "
                              "ZPHONENUMINDEX IS NULL");
}

// No pass sends more than the file held, and the queue left is well formed.
void checkQueue(std::size_t requests, std::int64_t sent) {
  if (static_cast<std::size_t>(sent) > requests) std::abort();
  auto file = platform::foundation::readDictionaryFile(tweak::preferencesPath());
  if (file && !tweak::readQueue(*file).damaged.empty()) std::abort();
}

// Every registered attachment names a file directly inside the folder.
void checkAttachments(const Messenger& m) {
  fs::path folder = fs::canonical(m.container / platform::messenger::kAttachmentsRelativePath);
  sqlite3_stmt* s = nullptr;
  sqlite3* db = m.manager->database()->database().handle();
  sqlite3_prepare_v2(db, "SELECT ZNAME FROM ZATTACHMENT", -1, &s, nullptr);
  while (sqlite3_step(s) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    std::string name = text ? text : "";
    std::error_code ec;
    fs::path file = fs::canonical(folder / name, ec);
    if (ec || file.parent_path() != folder ||
        !platform::messenger::MessengerDatabase::isAcceptableAttachmentName(name)) {
      std::abort();
    }
  }
  sqlite3_finalize(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  Messenger& m = messenger();
  if (size > 0 && data[0] % 2 == 0) {
    platform::foundation::writeFileAtomically(tweak::preferencesPath(),
                                              std::span(data + 1, size - 1));
  } else {
    FuzzedDataProvider in(data, size);
    platform::foundation::writeDictionaryFileAtomically(tweak::preferencesPath(),
                                                        structuredMailbox(in));
  }
  auto before = platform::foundation::readDictionaryFile(tweak::preferencesPath());
  std::int64_t sentBefore = outgoingMessages(m);
  tweak::sendMessageCallback(m.center.get(), nullptr, tweak::kSendMessageNotification, nullptr,
                             nullptr);
  m.loop->runPending();  // picture completions
  m.center->clearPosts();
  checkAttachments(m);
  checkQueue(before ? requestsIn(*before) : 0, outgoingMessages(m) - sentBefore);
  // Every input starts afresh: no retry of this one's requests is left waiting.
  startInput(m);
  return 0;
}
