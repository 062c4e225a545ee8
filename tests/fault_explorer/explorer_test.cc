// The bounded run of the fault explorer: every single fault of each
// scenario's road, and no run breaks the invariant.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "tests/fault_explorer/explorer.h"

namespace fault_explorer {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

std::string listed(const std::vector<Call>& calls) {
  std::string out;
  for (const auto& c : calls) {
    out += std::string(halfName(c.half)) + " " + std::to_string(c.ofHalf) + " " + c.op + " " +
           c.detail + "\n";
  }
  return out;
}

// The explorer reaches what it claims to: the calls of a text's road are
// listed from both halves and both ports, and a run with the failure of the
// messenger's take happens as planned.
class FaultExplorer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { keepDevicesInMemory(); }
};

TEST_F(FaultExplorer, TheRecordingListsTheCallsOfBothHalvesThroughBothPorts) {
  RunResult clean = runRoad(scenarios(false)[0], {});
  EXPECT_TRUE(clean.broken.empty()) << joined(clean.broken) << listed(clean.calls);
  int springboard = 0;
  int messenger = 0;
  int database = 0;
  int messengerWrite = 0;
  for (const auto& c : clean.calls) {
    (c.half == Half::Springboard ? springboard : messenger) += 1;
    database += c.op == "step";
    if (c.half == Half::Messenger && c.op == "updateDictionary" && !messengerWrite) {
      messengerWrite = static_cast<int>(&c - clean.calls.data()) + 1;
    }
  }
  EXPECT_GT(springboard, 0);
  EXPECT_GT(messenger, 0);
  EXPECT_GT(database, 0);
  ASSERT_GT(messengerWrite, 0);
  RunResult failed =
      runRoad(scenarios(false)[0], {{Fault::Type::Fail, messengerWrite, FailureKind::LockFailed}});
  ASSERT_EQ(failed.happened.size(), 1u);
  EXPECT_NE(failed.happened[0].find("messenger fails with lock failed"), std::string::npos)
      << failed.happened[0];
  EXPECT_TRUE(failed.broken.empty()) << joined(failed.broken);
}

// The number of the first call of `half` through `op` in the road of one text.
int firstCall(Half half, const std::string& op) {
  RunResult clean = runRoad(scenarios(false)[0], {});
  for (size_t i = 0; i < clean.calls.size(); ++i) {
    if (clean.calls[i].half == half && clean.calls[i].op == op) return static_cast<int>(i) + 1;
  }
  return 0;
}

// The messenger's pass cannot read the file at the send notification: the
// reply is neither taken for no request (an alert that it was not sent) nor
// left for its deadline.
TEST_F(FaultExplorer, APassThatCannotReadTheFileWaitsForTheNextTry) {
  int read = firstCall(Half::Messenger, "readDictionary");
  ASSERT_GT(read, 0);
  RunResult run =
      runRoad(scenarios(false)[0], {{Fault::Type::Fail, read, FailureKind::ReadFailed}});
  ASSERT_EQ(run.happened.size(), 1u);
  EXPECT_TRUE(run.broken.empty()) << joined(run.broken);
  EXPECT_FALSE(run.endedByDeadline);
}

// The springboard dies between writing the request and posting the send
// notification, and once restarted cannot read the file: it still watches the
// request's deadline, so the request does not stay for ever.
TEST_F(FaultExplorer, ARestartedSpringboardThatCannotReadTheFileStillWatchesTheQueue) {
  RunResult run = runRoad(scenarios(false)[0],
                          {{Fault::Type::DieAfter, 1, FailureKind::WriteFailed, Half::Springboard},
                           {Fault::Type::Fail, 2, FailureKind::ReadFailed}});
  ASSERT_EQ(run.happened.size(), 2u) << joined(run.happened);
  EXPECT_TRUE(run.broken.empty()) << joined(run.broken);
}

// The files this process holds open.
int openFiles() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST_F(FaultExplorer, EverySingleFaultKeepsEachReplyExactlyOnce) {
  // A half that dies holds nothing afterwards: thousands of runs must not run
  // out of files.
  int filesBefore = openFiles();
  int points = 0;
  int violations = 0;
  for (const auto& scenario : scenarios(false)) {
    Exploration e = explore(scenario, {});
    points += e.points;
    violations += static_cast<int>(e.violations.size());
    std::cout << scenario.name << ": " << e.points << " fault points, " << e.violations.size()
              << " broke the invariant, " << e.byDeadline.size() << " waited for a deadline\n";
    for (const auto& w : e.byDeadline) std::cout << "  waited for a deadline: " << w << "\n";
    for (const auto& v : e.violations) {
      ADD_FAILURE() << v.scenario << " | " << v.faults << " | " << v.broken;
    }
  }
  std::cout << "fault explorer: " << points << " fault points explored, " << violations
            << " broke the invariant\n";
  EXPECT_GT(points, 0);
  EXPECT_EQ(openFiles(), filesBefore);
}

}  // namespace
}  // namespace fault_explorer
