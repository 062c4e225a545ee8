// The send request's photo: its name, and what happens when it cannot share a
// name, cannot be read or stored, or the request cannot be written: never a
// request naming files that were never written, never a post for a request
// that is not in the file.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "tweak/core/process_state.h"
#include "tweak/extension/attachment_names.h"
#include "tweak/extension/send_request_fixture.h"

namespace tweak {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
namespace graphics = platform::graphics;
namespace springboard = platform::springboard;
using foundation::Dictionary;
using foundation::Value;

class SendRequestPhoto : public testing::SendRequestTest {};

// Whether the thread `tid` of this process sleeps in the system call `call`.
bool sleepsIn(pid_t tid, long call) {
  std::string task = "/proc/self/task/" + std::to_string(tid);
  std::string stat, number;
  std::getline(std::ifstream(task + "/stat"), stat);
  std::ifstream(task + "/syscall") >> number;
  auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S' &&
         number == std::to_string(call);
}

TEST_F(SendRequestPhoto, PhotosWithinOneSecondNeverShareANameWhereverTheNameIsTaken) {
  auto before = static_cast<std::uint64_t>(std::time(nullptr));
  // Taken in the preview folder only, and by a pending request with no file.
  for (std::uint64_t s = before; s <= before + 3; ++s) {
    std::ofstream(container_ / "Documents/AttachmentsPreview" / (std::to_string(s) + "00.jpg"));
  }
  ::tweak::SendRequest pending;
  pending.requestID = "older";
  pending.conversationID = Value("9");
  pending.messageText = Value("");
  pending.pictureFile = Value(std::to_string(before) + "01.jpg");
  Dictionary file;
  enqueueRequest(file, pending);
  writeFile(file);
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()), "1");
  send(foundation::NSURL::fileURLWithPath(photo(80, 60).string()), "2");
  auto names = readQueue(*foundation::readDictionaryFile(preferencesPath())).pending;
  ASSERT_EQ(names.size(), 3u);
  std::string first = *names[1].pictureFile->asString();
  std::string second = *names[2].pictureFile->asString();
  EXPECT_NE(first, second);
  if (first.substr(0, first.size() - 6) == std::to_string(before)) {
    EXPECT_EQ(first.substr(first.size() - 6), "02.jpg");
  }
  // Each request's files are its own photo.
  auto size = [&](const std::string& name) {
    auto image = graphics::UIImage::initWithData(
        *foundation::readFile(container_ / "Documents/Attachments" / name));
    return std::to_string(image->CGImage()->width());
  };
  EXPECT_EQ(size(first), "64");
  EXPECT_EQ(size(second), "80");
}

TEST_F(SendRequestPhoto, AllHundredNamesOfASecondTakenMeansNoName) {
  std::vector<fs::path> folders{container_ / "Documents/Attachments",
                                container_ / "Documents/AttachmentsPreview"};
  std::set<std::string> taken;
  for (int i = 0; i < 99; ++i) taken.insert(fmt::format("1700{:02}.jpg", i));
  EXPECT_EQ(freeAttachmentName(1700, folders, taken), "170099.jpg");
  std::ofstream(folders[0] / "170099.jpg");
  EXPECT_EQ(freeAttachmentName(1700, folders, taken), std::nullopt);
  EXPECT_EQ(freeAttachmentName(1701, folders, taken), "170100.jpg");
}

// Notes whether a file has been opened since the watch began.
class OpeningWatch {
 public:
  explicit OpeningWatch(const fs::path& file) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0 && inotify_add_watch(fd_, file.c_str(), IN_OPEN) < 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~OpeningWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpeningWatch(const OpeningWatch&) = delete;
  OpeningWatch& operator=(const OpeningWatch&) = delete;

  bool watching() const { return fd_ >= 0; }
  // The opening is queued by the open call itself: no waiting is needed.
  bool opened() {
    char events[4096];
    while (fd_ >= 0 && ::read(fd_, events, sizeof events) > 0) opened_ = true;
    return opened_;
  }

 private:
  int fd_;
  bool opened_ = false;
};

// The name's second is the time the reply comes, read before the photo is
// opened (decoding a camera photo takes a while), with the fraction cut off.
TEST_F(SendRequestPhoto, TheNameIsTheWholeSecondReadBeforeThePhotoIsOpened) {
  const fs::path path = photo(64, 48);
  OpeningWatch watch(path);
  ASSERT_TRUE(watch.watching());
  // 0.6 s into a second until the photo is opened, nine seconds later after.
  processState().clock = [&watch] { return watch.opened() ? 1449500009.6 : 1449500000.6; };
  send(foundation::NSURL::fileURLWithPath(path.string()));
  processState().clock = nullptr;
  EXPECT_TRUE(watch.opened());
  EXPECT_EQ(stored("Attachments"), std::vector<std::string>{"144950000000.jpg"});
  EXPECT_EQ(queue(), "5||144950000000.jpg");
}

// The seconds are a 64-bit count on every processor, as the phone's 64-bit
// one prints them: a 32-bit unsigned long would stop at 4294967295 (in 2106).
TEST(AttachmentName, TheWholeSecondsOfAnyTimeInDecimal) {
  EXPECT_EQ(freeAttachmentName(1449500000, {}, {}), "144950000000.jpg");
  EXPECT_EQ(freeAttachmentName(2224756800, {}, {}), "222475680000.jpg");  // 2040
  EXPECT_EQ(freeAttachmentName(4294967301, {}, {}), "429496730100.jpg");  // 2106
}

TEST_F(SendRequestPhoto, APhotoThatCannotBeReadIsNotSentAndTheUserIsTold) {
  settings().showAlerts = true;
  std::ofstream(root_ / "empty.jpg").close();
  std::ofstream(root_ / "text.jpg") << "this is not a picture";
  std::vector<foundation::Id> contents;
  for (const char* name : {"missing.jpg", "empty.jpg", "text.jpg"}) {
    contents.push_back(foundation::NSURL::fileURLWithPath((root_ / name).string()));
  }
  contents.push_back(foundation::NSURL::URLWithString("https://example.com/photo.jpg"));
  for (const auto& content : contents) send(content);
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(file(), "NONE");
  EXPECT_EQ(stored("Attachments"), std::vector<std::string>{});
  EXPECT_EQ(viber_->stateReadings, 0);
  EXPECT_EQ(alertMessages(),
            std::vector<std::string>(4,
                                     "Unable to read the photo. Message not sent.\n"
                                     "Photo reply to conversation 5"));
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: unable to read the photo at ").size(), 1u);
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: unable to decode the photo at ").size(), 2u);
  EXPECT_TRUE(log_.contains(
      "PXVIBER: photo content is not a file URL, nothing to read: https://example.com/photo.jpg"));
}

// A photo path that is a pipe is refused as unreadable at once: opening it
// to read would wait for a writer, and the springboard with it.
TEST_F(SendRequestPhoto, APhotoThatIsAPipeIsRefusedWithoutWaitingForAWriter) {
  settings().showAlerts = true;
  fs::path pipe = root_ / "photo.jpg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::atomic<pid_t> thread{0};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    thread = static_cast<pid_t>(::syscall(SYS_gettid));
    send(foundation::NSURL::fileURLWithPath(pipe.string()));
    done = true;
  });
  bool waited = false;
  while (!done && !waited) {
    waited = thread != 0 && sleepsIn(thread, SYS_openat);
    std::this_thread::yield();
  }
  if (waited) {
    // Let the open go on, so that the thread ends, then fail.
    int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    ::close(writer);
  }
  sender.join();
  EXPECT_FALSE(waited) << "the send request waited in open() for the pipe to have a writer";
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(file(), "NONE");
  EXPECT_EQ(alertMessages(), std::vector<std::string>{"Unable to read the photo. Message not "
                                                      "sent.\nPhoto reply to conversation 5"});
}

TEST_F(SendRequestPhoto, ACutOffPhotoIsStoredAsFarAsItDecodes) {
  auto truncated = foundation::readFile(photo(200, 100));
  truncated->resize(truncated->size() / 3);
  foundation::writeFileAtomically(root_ / "cut.jpg", *truncated);
  send(foundation::NSURL::fileURLWithPath((root_ / "cut.jpg").string()));
  EXPECT_EQ(storedSize("Attachments"), "200x100");
  EXPECT_EQ(center_->postCount(kSendMessageNotification), 1);
}

TEST_F(SendRequestPhoto, WithoutViberInstalledNoPhotoRequestIsMadeAndTheUserIsTold) {
  settings().showAlerts = true;
  registry_->installed = nullptr;
  fs::remove_all(root_ / "private/var/containers");
  fs::remove_all(container_.parent_path());
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  EXPECT_EQ(file(), "NONE");
  EXPECT_FALSE(fs::exists("(null)"));
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(alertMessages(), std::vector<std::string>{"Unable to store the photo for Viber. "
                                                      "Message not sent.\nPhoto reply to "
                                                      "conversation 5"});
  EXPECT_TRUE(
      log_.contains("PXVIBER: Viber's data container not found; the photo cannot be stored"));
}

TEST_F(SendRequestPhoto, ARequestThatCannotBeWrittenIsNotPostedAndLeavesNoPhotoBehind) {
  settings().showAlerts = true;
  writeFile({{"debugMode", Value(false)}});
  // The writer's lock cannot be taken: nothing may be written.
  fs::create_directory(preferencesPath().string() + ".lock");
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()), "3");
  send(std::make_shared<foundation::NSString>("and a text"), "3");
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(viber_->stateReadings, 0);
  EXPECT_EQ(stored("Attachments"), std::vector<std::string>{});
  EXPECT_EQ(stored("AttachmentsPreview"), std::vector<std::string>{});
  EXPECT_EQ(file(), "debugMode=0");
  EXPECT_EQ(alertMessages(),
            (std::vector<std::string>{
                "Unable to save the reply for Viber. Message not sent.\nPhoto reply to "
                "conversation 3",
                "Unable to save the reply for Viber. Message not sent.\nReply to conversation 3: "
                "\"and a text\""}));
}

}  // namespace
}  // namespace tweak
