// The springboard's watch over the deadlines of pending send requests.
//
// A request that no messenger takes (Viber not installed, or never started)
// would wait in the mailbox for ever; the springboard keeps one timer at the
// earliest deadline of the queue, and when it fires takes every request past
// its deadline out with a failed outcome, posts the outcome notification and
// tells the user once per request with an alert naming the reply. The messenger
// drops expired requests in the same way when it drains; whichever side takes
// a request out under the file's lock is the only one that tells the user.
// Main thread only.
#pragma once

namespace tweak {

// Reads the queue and makes sure the timer fires at its earliest deadline.
void watchRequestDeadlines();
// The same for one deadline known already (seconds since 1970): a new
// request's, which no earlier request's deadline follows.
void watchRequestDeadline(double at);

// Takes out and reports what is past its deadline now, then watches the rest.
// The timer is the process state's deadlineTimer.
void dropExpiredRequests();

}  // namespace tweak
