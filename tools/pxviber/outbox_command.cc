// pxviber outbox: the send requests waiting for the messenger and what came of
// the recent ones, read from the device's settings file (the device need not
// be running).
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "platform/foundation/date_format.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"
#include "tools/pxviber/outbox.h"
#include "tweak/core/undelivered_reply.h"

namespace pxviber {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

std::string when(double unixSeconds) {
  return foundation::describeDate(foundation::Date::fromUnix(unixSeconds));
}

void printPending(const tweak::SendRequest& r) {
  std::cout << fmt::format("  {}  {}  {}\n", r.requestID, when(r.created), tweak::describeReply(r));
  if (r.attempts) {
    std::cout << fmt::format("      {} tries so far; last: {}\n", r.attempts,
                             r.lastFailure.value_or("(none)"));
  }
  if (r.claim) std::cout << "      being sent by " << r.claim->by << "\n";
}

void printOutcome(const tweak::Outcome& o) {
  std::cout << fmt::format("  {}  {}  {}\n      {}\n", o.requestID, when(o.recorded), o.reply,
                           describeOutcome(o));
}

void printJson(const tweak::QueueState& queue, const std::vector<tweak::Outcome>& outcomes) {
  foundation::Array pending, recent;
  for (const auto& r : queue.pending) pending.push_back(tweak::toValue(r));
  for (const auto& o : outcomes) recent.push_back(outcomeValue(o));
  std::cout << toJson(Value(Dictionary{{"pending", Value(std::move(pending))},
                                       {"outcomes", Value(std::move(recent))}}))
            << "\n";
}

}  // namespace

void addOutboxCommand(CLI::App& app, int& exitCode) {
  struct Options {
    std::filesystem::path root;
    bool json = false;
  };
  auto o = std::make_shared<Options>();
  auto* outbox = app.add_subcommand("outbox", "list pending send requests and recent outcomes");
  addRootOption(outbox, o->root);
  outbox->add_flag("--json", o->json, "print them as JSON");
  outbox->footer("Example: pxviber outbox --root /tmp/phone");
  outbox->callback([o, &exitCode] {
    requireDevice(o->root);
    Dictionary file = readSettingsFile(o->root);
    auto queue = tweak::readQueue(file);
    auto outcomes = tweak::readOutcomes(file);
    exitCode = kOk;
    if (o->json) return printJson(queue, outcomes);
    std::cout << "pending (" << queue.pending.size() << "), oldest first:\n";
    for (const auto& r : queue.pending) printPending(r);
    for (const auto& d : queue.damaged) std::cout << "  damaged entry: " << d.why << "\n";
    std::cout << "recent outcomes (" << outcomes.size() << "), oldest first:\n";
    for (const auto& outcome : outcomes) printOutcome(outcome);
  });
}

}  // namespace pxviber
