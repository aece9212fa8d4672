// Time for the engine's pacing: a monotonic clock and a sleep that an abort
// cuts short. Tests substitute a clock that records the waits.
#pragma once

#include <cstdint>

namespace tsv {

class Event;

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a monotonic clock.
  virtual uint64_t NowMs() = 0;
  // Sleeps ms milliseconds unless `abort` is or becomes set; false when it
  // was set (the caller stops).
  virtual bool Sleep(Event& abort, uint32_t ms) = 0;
};

// The real clock: steady_clock, and sleeps that wake on the abort event.
Clock& SystemClock();

}  // namespace tsv
