// The screenshot run (settings --screenshot DIR): opens a pane, saves
// "settings-pane.png", opens the other-apps page by its button, waits until its
// load has finished or failed (its label gone), saves "other-apps.png" and
// ends. One step per turn of the main loop, so the window draws in between.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace hosts::settings {

class SettingsDriver;

class ScreenshotRun {
 public:
  // `pane`: the pane to open ("" for the first); `folder`: where the pictures
  // go; `finish` is called once with the exit code: 0, or 1 when the run could
  // not complete (the reason is logged). `driver` must outlive the run.
  ScreenshotRun(SettingsDriver& driver, std::string pane, std::filesystem::path folder,
                std::function<void(int)> finish);

  void start();

 private:
  void paneShown();
  void poll();
  bool save(const char* name);
  void whenSettled(std::function<void()> step);
  void after(unsigned ms, std::function<void()> step);
  void finish(const std::string& failure);

  SettingsDriver& driver_;
  std::string pane_;
  std::filesystem::path folder_;
  std::function<void(int)> finish_;
  int polls_ = 0;
};

}  // namespace hosts::settings
