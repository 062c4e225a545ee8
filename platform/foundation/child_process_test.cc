#include "platform/foundation/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/foundation/build_info.h"
#include "platform/foundation/error.h"
#include "platform/foundation/testing/scratch_folder.h"

namespace platform::foundation {
namespace {

class ChildProcess : public ::testing::Test {
 protected:
  // Waits for the child; answers its exit code (-1 when it did not exit).
  static int reap(int pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  std::string output() const {
    std::ifstream in(out_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  testing::ScratchFolder scratch_{"child-process"};
  std::filesystem::path out_ = scratch_ / "child.out";
};

TEST_F(ChildProcess, OutputAndErrorGoToTheFileAndTheEnvironmentIsSet) {
  std::ofstream(out_) << "earlier\n";
  int pid = startChild({.arguments = {"/bin/sh", "-c", "echo \"$PXVIBER_X\"; echo err >&2; cat"},
                        .output = out_,
                        .environment = {{"PXVIBER_X", "set for the child"}}});
  EXPECT_EQ(reap(pid), 0);
  // Appended; the child's standard input is empty.
  EXPECT_EQ(output(), "earlier\nset for the child\nerr\n");
}

TEST_F(ChildProcess, ANewSessionAndNoBlockedSignals) {
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &block, &old);
  int pid =
      startChild({.arguments = {"/bin/sh", "-c", "grep SigBlk /proc/self/status; ps -o sid= -p $$"},
                  .output = out_,
                  .newSession = true});
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  EXPECT_EQ(reap(pid), 0);
  std::string text = output();
  EXPECT_NE(text.find("SigBlk:\t0000000000000000"), std::string::npos) << text;
  EXPECT_NE(text.find(std::to_string(pid)), std::string::npos) << text;
}

// A descriptor the parent left open without close-on-exec (a pipe whose
// reader waits for its end, say) is not the child's.
TEST_F(ChildProcess, TheChildHoldsNoOtherDescriptorOfTheParent) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  std::string fd = std::to_string(pipe[1]);
  int pid = startChild(
      {.arguments = {"/bin/sh", "-c", "[ -e /proc/$$/fd/" + fd + " ] && echo open || echo closed"},
       .output = out_});
  ::close(pipe[1]);
  ::close(pipe[0]);
  EXPECT_EQ(reap(pid), 0);
  EXPECT_EQ(output(), "closed\n");
}

TEST_F(ChildProcess, AProgramOnThePathAndOneThatCannotRun) {
  EXPECT_EQ(reap(startChild({.arguments = {"true"}, .searchPath = true})), 0);
  EXPECT_THROW(startChild({}), Error);
  // qemu-user runs the vfork child of posix_spawn as a forked copy, whose
  // failure to execute or to open its output ends that copy and never reaches
  // the caller: under emulation a failed start shows as a child exiting at once.
  if (*kBuildEmulator) GTEST_SKIP() << "exec failures are not reported under qemu-user";
  EXPECT_THROW(startChild({.arguments = {"true"}}), Error);
  EXPECT_THROW(startChild({.arguments = {(scratch_ / "missing").string()}}), Error);
  EXPECT_THROW(startChild({.arguments = {"/bin/true"}, .output = scratch_ / "no/such/folder/out"}),
               Error);
}

// How a process is recognised: by what it was started with, arguments with
// blanks and empty ones kept apart.
TEST_F(ChildProcess, TheArgumentsOfARunningProcessAreReadBack) {
  const std::vector<std::string> arguments{"/bin/sh", "-c",
                                           "echo running; while :; do sleep 1; done", "a b", ""};
  int pid = startChild({.arguments = arguments, .output = out_});
  // Until the program runs, the child shows no arguments, or under an emulator
  // (whose child is a copy of it until then) the emulator's: read them once
  // the program has said it runs.
  while (output() != "running\n") std::this_thread::yield();
  EXPECT_EQ(processArguments(pid), arguments);
  ::kill(pid, SIGKILL);
  reap(pid);
  EXPECT_EQ(processArguments(pid), std::vector<std::string>{});
}

}  // namespace
}  // namespace platform::foundation
