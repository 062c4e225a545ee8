// What the messenger does with the results of its sends: one locked write of
// the mailbox records the outcome of every request delivered or failed (and
// takes it out of the queue), and puts every request to retry back with its
// failure and the time of its next try; then the outcome notification is
// posted, the user is told of the failed requests in one alert naming each,
// and a retry is scheduled. Main thread.
#pragma once

#include <utility>
#include <vector>

#include "tweak/bridge/request_sending.h"
#include "tweak/core/send_queue.h"

namespace tweak {

using SendResults = std::vector<std::pair<SendRequest, SendResult>>;
using ExpiredRequests = std::vector<std::pair<SendRequest, Outcome>>;

// Records `results`; `expired` were already taken out of the queue by the
// caller's write and are reported with them.
void settleRequests(const SendResults& results, const ExpiredRequests& expired = {});

// The wait before the n-th retry (n from 1): 1, 2, 4... seconds, at most a minute.
double retryDelaySeconds(std::int64_t attempts);

// Makes sure a pass of the executor runs at `at` (seconds since 1970) or earlier.
void scheduleRetryAt(double at);
void resetRetryTimerForTesting();

}  // namespace tweak
