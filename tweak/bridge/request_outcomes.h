// What the messenger does with the results of its sends: one locked write of
// the mailbox records the outcome of every request delivered or failed (and
// takes it out of the queue), and puts every request to retry back with its
// failure and the time of its next try; then the outcome notification is
// posted and the user is told of the failed requests in one alert naming
// each. When the next pass is due is the caller's to arrange. Main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "tweak/bridge/send_result.h"
#include "tweak/core/send_queue.h"

namespace tweak {

using SendResults = std::vector<std::pair<SendRequest, SendResult>>;

// Records `results` (a Waiting one is left as it is); `ended` were already
// taken out of the queue by the caller's write (past their deadline, or never
// sendable) and are reported with them.
// Answers when a pass must run again for the requests left to retry (seconds
// since 1970), nullopt when none is; after a failed write, a pass a little
// later, which finds the claims unfinished.
std::optional<double> settleRequests(const SendResults& results,
                                     const FinishedRequests& ended = {});

// The wait before the n-th retry (n from 1): 1, 2, 4... seconds, at most a minute.
double retryDelaySeconds(std::int64_t attempts);

}  // namespace tweak
