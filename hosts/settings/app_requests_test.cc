#include "hosts/settings/app_requests.h"

#include <gtest/gtest.h>

#include "hosts/settings/settings_driver.h"

namespace hosts::settings {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;

// A driver that records what it is asked to do; its window has one switch
// "debugMode", one field "days" that takes "7" only, and one button "go".
class RecordingDriver final : public SettingsDriver {
 public:
  Dictionary state() const override { return {{"title", Value("Pane")}}; }
  std::string open(const std::string& pane) override {
    calls.push_back("open " + pane);
    return pane == "Pane" ? "" : "no pane named \"" + pane + "\"";
  }
  std::optional<bool> toggle(const std::string& key) override {
    calls.push_back("toggle " + key);
    if (key != "debugMode") return std::nullopt;
    return on = !on;
  }
  std::optional<bool> type(const std::string& key, const std::string& text) override {
    calls.push_back("type " + key + " " + text);
    if (key != "days") return std::nullopt;
    return text == "7";
  }
  bool tap(const std::string& action) override {
    calls.push_back("tap " + action);
    return action == "go";
  }
  void back() override { calls.push_back("back"); }
  bool snapshot(const std::filesystem::path& path) override {
    calls.push_back("snapshot " + path.string());
    return true;
  }

  std::vector<std::string> calls;
  bool on = false;
};

class SettingsRequests : public ::testing::Test {
 protected:
  // The answer to `request` as text.
  std::string answer(Dictionary request) {
    return Value(platform::runtime::handleHostRequest(handlers_, request)).description();
  }

  RecordingDriver driver_;
  std::map<std::string, platform::runtime::HostRequestHandler> handlers_ =
      settingsRequestHandlers(driver_);
};

TEST_F(SettingsRequests, EachRequestActsThroughTheDriver) {
  EXPECT_EQ(answer({{"command", Value("open")}, {"pane", Value("Pane")}}),
            "{\n    title = Pane;\n}");
  EXPECT_EQ(answer({{"command", Value("toggle")}, {"key", Value("debugMode")}}),
            "{\n    value = 1;\n}");
  EXPECT_EQ(answer({{"command", Value("type")}, {"key", Value("days")}, {"text", Value("31")}}),
            "{\n    accepted = 0;\n}");
  EXPECT_EQ(answer({{"command", Value("tap")}, {"action", Value("go")}}), "{\n}");
  EXPECT_EQ(answer({{"command", Value("snapshot")}, {"path", Value("/tmp/x.png")}}),
            "{\n    written = 1;\n}");
  EXPECT_EQ(answer({{"command", Value("back")}}), "{\n    title = Pane;\n}");
  EXPECT_EQ(driver_.calls,
            (std::vector<std::string>{"open Pane", "toggle debugMode", "type days 31", "tap go",
                                      "snapshot /tmp/x.png", "back"}));
}

TEST_F(SettingsRequests, WhatThePageCannotDoIsAnErrorThatSaysWhy) {
  EXPECT_EQ(answer({{"command", Value("open")}, {"pane", Value("Other")}}),
            "{\n    error = \"no pane named \\\"Other\\\"\";\n}");
  EXPECT_EQ(answer({{"command", Value("toggle")}, {"key", Value("days")}}),
            "{\n    error = \"no switch for days\";\n}");
  EXPECT_EQ(answer({{"command", Value("type")}, {"key", Value("debugMode")}, {"text", Value("1")}}),
            "{\n    error = \"no text field for debugMode\";\n}");
  EXPECT_EQ(answer({{"command", Value("tap")}, {"action", Value("stop")}}),
            "{\n    error = \"no button for stop\";\n}");
  EXPECT_EQ(answer({{"command", Value("type")}, {"key", Value("days")}}),
            "{\n    error = \"the request needs a \\\"text\\\"\";\n}");
}

}  // namespace
}  // namespace hosts::settings
