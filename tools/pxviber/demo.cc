#include "tools/pxviber/demo.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>

#include "platform/foundation/error.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/demo_session.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"

namespace pxviber {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

using Clock = std::chrono::steady_clock;

void printStep(const StepReport& r, size_t index, size_t count, bool json) {
  if (json) {
    foundation::Array shown;
    for (auto& s : r.shown) shown.push_back(Value(s));
    Dictionary d{{"step", Value(static_cast<long long>(index))},
                 {"title", Value(r.title)},
                 {"ok", Value(r.failure.empty())},
                 {"seconds", Value(r.seconds)},
                 {"shown", Value(shown)}};
    if (!r.failure.empty()) d["failure"] = Value(r.failure);
    std::cout << toJson(Value(d)) << std::endl;
    return;
  }
  std::cout << "[" << index << "/" << count << "] " << r.title << "\n";
  for (auto& s : r.shown) std::cout << "      " << s << "\n";
  std::cout << "      " << (r.failure.empty() ? "ok" : "FAILED: " + r.failure) << " ("
            << fmt::format("{:.2f}", r.seconds) << " s)\n"
            << std::endl;
}

}  // namespace

int runDemo(const DemoOptions& options) {
  char tmpl[] = "/tmp/pxviber-demo-XXXXXX";
  if (!::mkdtemp(tmpl)) throw platform::Error("cannot make a temporary folder");
  fs::path root = fs::path(tmpl) / "device";
  auto say = [&](const std::string& line) {
    if (!options.json) std::cout << line << std::endl;
  };
  say("Creating an iOS " + std::to_string(options.iosVersion) + " sample device at " +
      root.string());
  ViberLocation viber = createDevice(root, {.iosVersion = options.iosVersion});
  say("Starting its bus and springboard\n");
  startDevice(root);

  std::vector<StepReport> reports;
  try {
    DemoSession session(root, viber);
    auto steps = demoSteps();
    for (size_t i = 0; i < steps.size(); ++i) {
      StepReport r{steps[i].first, 0, {}, {}};
      auto start = Clock::now();
      try {
        steps[i].second(session, r);
      } catch (const CheckFailed& f) {
        r.failure = f.what;
      } catch (const std::exception& e) {
        r.failure = e.what();
      }
      r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
      printStep(r, i + 1, steps.size(), options.json);
      reports.push_back(std::move(r));
    }
  } catch (...) {
    stopDevice(root);
    throw;
  }
  stopDevice(root);

  int failed = 0;
  for (auto& r : reports) failed += !r.failure.empty();
  if (!options.json) {
    std::cout << "Summary\n  step  result  seconds  what\n";
    for (size_t i = 0; i < reports.size(); ++i) {
      std::cout << fmt::format("  {:>4}  {:<6}  {:>7.2f}  {}\n", i + 1,
                               reports[i].failure.empty() ? "ok" : "FAILED", reports[i].seconds,
                               reports[i].title);
    }
    std::cout << fmt::format("{} of {} steps checked and passed\n", reports.size() - failed,
                             reports.size());
  }
  if (options.keep) {
    say("The device is kept at " + root.string() +
        " (its log: " + (root / "private/var/log/syslog").string() + ")");
  } else {
    std::error_code ec;
    fs::remove_all(fs::path(tmpl), ec);
  }
  for (size_t i = 0; i < reports.size(); ++i) {
    if (!reports[i].failure.empty()) {
      std::cerr << "pxviber demo: step " << i + 1 << " failed: " << reports[i].title << ": "
                << reports[i].failure << "\n";
    }
  }
  return failed == 0 ? kOk : kFailed;
}

void addDemoCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<DemoOptions>();
  auto* demo = app.add_subcommand("demo", "run the whole road of a reply on a sample device");
  demo->add_option("--ios", options->iosVersion, "iOS version of the device: 7, 8 or 9")
      ->check(CLI::Range(7, 9));
  demo->add_flag("--keep", options->keep, "keep the device folder afterwards");
  demo->add_flag("--json", options->json, "print each step as one JSON object");
  demo->footer("Example: pxviber demo --ios 9 --keep");
  demo->callback([options, &exitCode] { exitCode = runDemo(*options); });
}

}  // namespace pxviber
