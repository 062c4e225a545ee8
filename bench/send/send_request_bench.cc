// The send request on the springboard's side, end to end: a 12-megapixel photo
// (EXIF orientation 6) decoded, turned upright, fitted twice, encoded twice and
// written, then the mailbox written and the notification posted; and a text
// request alone. The messenger is in the foreground, so no waking follows;
// between two requests (untimed) the queue is emptied, as the messenger would
// have taken the request, so that each one meets the file a reply meets.
//
// The photo request is set beside the photo path alone (the file read and
// makeAttachmentJpegs for the same screen) as interleaved pairs: each iteration
// times one request and then one photo path on the same file, and the counters
// give the median of the pairwise ratios and their range ("ratio_median",
// "ratio_min", "ratio_max") with the median times ("send_ms", "path_ms"); the
// same for the processor time of all threads ("cpu_ratio_median", ...,
// "send_cpu_ms", "path_cpu_ms").
//
// PXVIBER_BENCH_DIR picks where the device lives (/tmp by default). The request
// flushes its files to disk (fsync), which on a shared virtual disk costs
// whatever the other writers make it cost; /dev/shm leaves the flushes out and
// measures the request's own work.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <cstdio>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench/image/photo_fixture.h"
#include "bench/latency_stats.h"
#include "bench/process_memory.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/foundation/object.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/null_log.h"
#include "platform/foundation/testing/remove_tree.h"
#include "platform/graphics/ui_image.h"
#include "platform/notify/testing/fake_notify_center.h"
#include "platform/runloop/testing/fake_run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/app_list.h"
#include "platform/springboard/screen.h"
#include "platform/springboard/testing/fake_applications.h"
#include "tweak/core/application_location.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/photo_attachment.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using Clock = std::chrono::steady_clock;
namespace springboard = platform::springboard;
using foundation::Value;

// A scratch iOS 9 device with Viber installed and in the foreground.
struct Device {
  Device() {
    root = bench::scratchFolder("send-bench");
    fs::create_directories(root / "private/var/mobile/Library/Preferences");
    fs::create_symlink("private/var", root / "var");
    fs::path container = root / "private/var/mobile/Containers/Data/Application/C0FFEE";
    fs::create_directories(container / "Documents/Attachments");
    fs::create_directories(container / "Documents/AttachmentsPreview");
    foundation::writeDictionaryFileAtomically(
        container / ".com.apple.mobile_container_manager.metadata.plist",
        {{"MCMMetadataIdentifier", Value("com.viber")}});
    fs::path bundle = root / "private/var/containers/Bundle/Application/B0B/Viber.app";
    fs::create_directories(bundle);
    foundation::writeDictionaryFileAtomically(bundle / "Info.plist",
                                              {{"CFBundleIdentifier", Value("com.viber")}});
    foundation::setDeviceRoot(root);
    platform::runtime::registerClass(std::make_shared<springboard::ALApplicationListClass>(
        springboard::makeDeviceApplicationList()));
    auto registry = std::make_shared<springboard::testing::FakeRegistry>();
    registry->installed = std::make_shared<springboard::testing::FakeApplication>("com.viber");
    registry->installed->states = {springboard::SBApplicationStateForeground};
    platform::runtime::registerClass(
        std::make_shared<springboard::SBApplicationControllerClass>(registry));
    loop = std::make_shared<platform::runloop::testing::FakeRunLoop>();
    center = std::make_shared<platform::notify::testing::FakeNotifyCenter>(*loop);
    platform::notify::setDarwinNotifyCenter(center);
    photo = bench::photoFixture(root, 4032, 3024);
  }
  ~Device() {
    if (std::string left = platform::foundation::testing::removeTree(root); !left.empty()) {
      std::fprintf(stderr, "%s\n", left.c_str());
    }
  }

  fs::path root;
  fs::path photo;
  std::shared_ptr<platform::runloop::testing::FakeRunLoop> loop;
  std::shared_ptr<platform::notify::testing::FakeNotifyCenter> center;
};

Device& device() {
  static Device d;
  return d;
}

// The photo path alone, as the request runs it: the file read, both files made.
void photoPathAlone(const fs::path& photo) {
  auto screen = springboard::UIScreen::mainScreen();
  auto jpegs = tweak::makeAttachmentJpegs(
      platform::graphics::UIImage::initWithContentsOfFile(foundation::ReadOnlyFile::open(photo)),
      {screen.bounds().width * screen.scale(), screen.bounds().height * screen.scale()});
  benchmark::DoNotOptimize(jpegs);
}

// What the messenger does once it has sent a request: the queue left empty.
void takeTheRequest() {
  device().center->clearPosts();
  foundation::updateDictionaryFile(tweak::preferencesPath(), [](foundation::Dictionary& d) {
    d.erase(tweak::key::pendingRequests);
  });
}

void BM_SendPhoto12MP(benchmark::State& state) {
  auto extension = tweak::ORVViberCouriaExtension::create();
  auto message = std::make_shared<platform::couria::ReplyMessage>(
      foundation::NSURL::fileURLWithPath(device().photo.string()));
  std::vector<double> send, path, sendCpu, pathCpu;
  for (auto _ : state) {
    const double cpuStart = bench::processCpuMs();
    auto start = Clock::now();
    extension->sendMessage(message, std::string("1"));
    auto sent = Clock::now();
    const double cpuSent = bench::processCpuMs();
    takeTheRequest();
    const double cpuAlone = bench::processCpuMs();
    auto alone = Clock::now();
    photoPathAlone(device().photo);
    auto end = Clock::now();
    pathCpu.push_back(bench::processCpuMs() - cpuAlone);
    sendCpu.push_back(cpuSent - cpuStart);
    send.push_back(bench::ms(sent - start));
    path.push_back(bench::ms(end - alone));
    state.SetIterationTime(std::chrono::duration<double>(sent - start).count());
  }
  const auto counters = [&state](const char* prefix, const std::vector<double>& ours,
                                 const std::vector<double>& anchor) {
    const auto ratios = bench::pairRatios(ours, anchor);
    state.counters[std::string(prefix) + "ratio_median"] = ratios.median;
    state.counters[std::string(prefix) + "ratio_min"] = ratios.min;
    state.counters[std::string(prefix) + "ratio_max"] = ratios.max;
  };
  counters("", send, path);
  counters("cpu_", sendCpu, pathCpu);
  state.counters["send_ms"] = bench::percentile(send, 0.5);
  state.counters["path_ms"] = bench::percentile(path, 0.5);
  state.counters["send_cpu_ms"] = bench::percentile(sendCpu, 0.5);
  state.counters["path_cpu_ms"] = bench::percentile(pathCpu, 0.5);
}
// One warm-up request first, then 21 pairs.
BENCHMARK(BM_SendPhoto12MP)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(21)
    ->Setup([](const benchmark::State&) {
      tweak::ORVViberCouriaExtension::create()->sendMessage(
          std::make_shared<platform::couria::ReplyMessage>(
              foundation::NSURL::fileURLWithPath(device().photo.string())),
          std::string("1"));
      takeTheRequest();
    });

void BM_SendText(benchmark::State& state) {
  auto extension = tweak::ORVViberCouriaExtension::create();
  auto message = std::make_shared<platform::couria::ReplyMessage>(
      std::make_shared<foundation::NSString>("On my way"));
  for (auto _ : state) {
    extension->sendMessage(message, std::string("1"));
    state.PauseTiming();
    takeTheRequest();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SendText)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Quiet: every send writes its "message class" line.
  foundation::setLogSink(std::make_shared<foundation::testing::NullLog>());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
