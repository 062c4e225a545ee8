// The main run loop: the one thread of a process on which notifications are
// delivered, delayed calls fire and queued work runs.
//
// A RunLoop is used from the thread that runs it; post() alone may be called from
// any thread. Callbacks run one at a time, in the order the loop chooses: tasks
// queued with post() run after every bus message already waiting has been handled,
// and in the order they were queued.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform::runloop {

using Seconds = std::chrono::duration<double>;

class RunLoop {
 public:
  using Task = std::function<void()>;
  using TimerId = std::uint64_t;

  virtual ~RunLoop() = default;
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Queues `task` for a later turn of the loop. Safe from any thread.
  virtual void post(Task task) = 0;
  // Runs `task` once, `delay` from now, on this loop (performSelector:afterDelay:).
  // The task owns what it captures until it has run or been cancelled.
  virtual TimerId callAfter(Seconds delay, Task task) = 0;
  // Cancels a delayed task that has not run yet; no effect otherwise.
  virtual void cancel(TimerId id) = 0;

  // Runs until stop() is called.
  virtual void run() = 0;
  virtual void stop() = 0;
  // Runs until `done()` answers true or `timeout` has passed; answers done().
  virtual bool runUntil(const std::function<bool()>& done, Seconds timeout) = 0;

  // Runs `handler` on the loop when the process receives `signal` (SIGTERM,
  // SIGINT, SIGHUP...). The signal is blocked for ordinary delivery.
  virtual void onSignal(int signal, Task handler) = 0;
  // Runs `handler` with the wait status when child process `pid` exits. The
  // loop reaps the child.
  virtual void onChildExit(int pid, std::function<void(int status)> handler) = 0;

  // The implementation's own loop object (sd_event* for the Linux loop), for
  // platform services that attach themselves to it; nullptr for fakes.
  virtual void* nativeHandle() = 0;

 protected:
  RunLoop() = default;
};

// The process's main run loop, set by the host (or a test) before tweaks load.
std::shared_ptr<RunLoop> mainRunLoop();
void setMainRunLoop(std::shared_ptr<RunLoop> loop);

// The Linux run loop over sd-event. Throws platform::Error when sd-event fails.
std::shared_ptr<RunLoop> makeEventRunLoop();

}  // namespace platform::runloop
