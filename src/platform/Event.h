// Events and counting semaphores for the engine's threads. Every wait can
// be bounded by a timeout so that an abort always wakes a waiter.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tsv {

class Event {
 public:
  // manualReset: stays set until Reset; otherwise one waiter consumes it.
  Event(bool manualReset, bool initiallySet) : manual_(manualReset), set_(initiallySet) {}
  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event was (or became) set within the timeout.
  bool WaitFor(std::chrono::milliseconds timeout);
  void Wait();

 private:
  const bool manual_;
  bool set_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
};

}  // namespace tsv
