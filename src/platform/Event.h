// Events and counting semaphores for the engine's threads. Objects that a
// thread may wait on together share one SyncDomain (a mutex and a condition
// variable), so a thread can wait for "abort or a free slot" in one wait,
// and an abort wakes every waiter at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tsv {

class Semaphore;

class SyncDomain {
 public:
  std::mutex mutex;
  std::condition_variable changed;
};

class Event {
 public:
  // manualReset: stays set until Reset; otherwise one successful wait
  // consumes it. Without a domain the event has one of its own.
  Event(bool manualReset, bool initiallySet, SyncDomain* domain = nullptr);
  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event was (or became) set within the timeout.
  bool WaitFor(std::chrono::milliseconds timeout);
  void Wait();

  SyncDomain& domain() const { return *domain_; }

 private:
  friend bool WaitAbortOr(Event& abort, Event& event);
  friend bool SleepUnlessAborted(Event& abort, std::chrono::milliseconds duration);
  friend class Semaphore;
  friend bool WaitAbortOr(Event& abort, Semaphore& semaphore);
  bool TakeLocked();  // under the domain's mutex

  std::unique_ptr<SyncDomain> own_;
  SyncDomain* domain_;
  const bool manual_;
  bool set_;
};

class Semaphore {
 public:
  Semaphore(int initial, int maximum, SyncDomain& domain);
  // Adds permits up to the maximum; false when that would pass it (the
  // extra permits are dropped).
  bool Release(int count = 1);
  bool TryAcquire();
  int Count() const;

 private:
  friend bool WaitAbortOr(Event& abort, Semaphore& semaphore);
  SyncDomain& domain_;
  int count_;
  const int maximum_;
};

// Waits until `abort` is set (false; abort is not consumed) or a permit
// of `semaphore` / the event `event` could be taken (true). Abort wins
// when both are ready. Both objects must share a domain.
bool WaitAbortOr(Event& abort, Semaphore& semaphore);
bool WaitAbortOr(Event& abort, Event& event);

// Sleeps for the duration unless `abort` is or becomes set; true when the
// whole duration passed without an abort.
bool SleepUnlessAborted(Event& abort, std::chrono::milliseconds duration);

}  // namespace tsv
