#include "tools/pxviber/commands.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

namespace pxviber {
namespace {

// Every leaf command that takes --root, as its words and the arguments it
// needs besides.
std::vector<std::vector<std::string>> deviceCommands() {
  CLI::App app;
  int code = 0;
  addDeviceCommands(app, code);
  addPackageCommands(app, code);
  addNotifyCommands(app, code);
  addDemoCommand(app, code);
  addReplyCommands(app, code);
  addLogCommand(app, code);
  addMessengerCommands(app, code);
  addAlertsCommand(app, code);
  addSettingsCommand(app, code);
  addPushCommand(app, code);
  addOutboxCommand(app, code);
  std::vector<std::vector<std::string>> out;
  std::function<void(CLI::App*, std::vector<std::string>)> walk =
      [&](CLI::App* command, std::vector<std::string> words) {
        auto subcommands = command->get_subcommands({});
        if (subcommands.empty() && command->get_option_no_throw("--root")) {
          for (auto* option : command->get_options()) {
            if (!option->get_required()) continue;
            if (!option->get_positional()) words.push_back(option->get_name());
            // A value each takes: `app`'s action is one of a few words.
            words.push_back(option->get_name() == "ACTION" ? "state" : "1");
          }
          out.push_back(words);
        }
        for (auto* sub : subcommands) {
          auto more = words;
          more.push_back(sub->get_name());
          walk(sub, more);
        }
      };
  walk(&app, {});
  return out;
}

// The exit code and what went to stderr.
std::pair<int, std::string> run(std::vector<std::string> words) {
  words.insert(words.begin(), "pxviber");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  ::testing::internal::CaptureStderr();
  int code = -1;
  try {
    code = runCommandLine(static_cast<int>(argv.size()), argv.data());
  } catch (const std::exception& e) {
    ADD_FAILURE() << "an exception escaped: " << e.what();
  }
  return {code, ::testing::internal::GetCapturedStderr()};
}

// An empty --root, or one no system call takes, ends every device command
// with a message that names it and an exit code, never on an exception.
TEST(CommandLine, EveryDeviceCommandEndsOnABadRootWithAMessageAndAnExitCode) {
  auto commands = deviceCommands();
  ASSERT_GE(commands.size(), 14u);
  const std::string longRoot = "/tmp/" + std::string(5000, 'r');
  for (auto& words : commands) {
    std::string command;
    for (auto& w : words) command += w + " ";
    auto empty = words;
    empty.insert(empty.end(), {"--root", ""});
    auto [code, err] = run(empty);
    EXPECT_EQ(code, kUsage) << command;
    EXPECT_NE(err.find("--root: needs a folder, not an empty name"), std::string::npos)
        << command << err;
    auto tooLong = words;
    tooLong.insert(tooLong.end(), {"--root", longRoot});
    std::tie(code, err) = run(tooLong);
    EXPECT_TRUE(code == kNoDevice || code == kFailed) << command << code;
    EXPECT_EQ(err.rfind("pxviber: ", 0), 0u) << command << err.substr(0, 200);
    if (code == kNoDevice) {
      EXPECT_NE(err.find("no device at " + longRoot), std::string::npos)
          << command << err.substr(0, 200);
    }
  }
}

}  // namespace
}  // namespace pxviber
