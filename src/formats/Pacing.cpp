#include "formats/Pacing.h"

#include <chrono>
#include <thread>

#include "formats/PlaybackState.h"
#include "platform/Event.h"

namespace tsv {

uint32_t SpeedStep(uint8_t level) {
  static constexpr uint32_t kSteps[] = {16, 8, 4, 2, 0, 1, 2, 3, 4};
  return level < 9 ? kSteps[level] : 0;
}

bool SleepUnlessStopped(PlaybackState& state, Event* stop, uint32_t ms) {
  Clock& clock = state.clock ? *state.clock : SystemClock();
  if (stop) return clock.Sleep(*stop, ms);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return true;
}

bool SlowLevelSleep(PlaybackState& state, Event* stop, uint32_t t) {
  uint8_t level = state.speedLevel;
  for (uint32_t n = 0; level < kSpeedNormal && n < SpeedStep(level); ++n) {
    if (stop && stop->IsSet()) return false;
    // Intervals of 500 ms and more are gaps in the recording, not waits.
    if (t >= 8 && t < 500 && !SleepUnlessStopped(state, stop, t - 7)) return false;
    level = state.speedLevel;
  }
  return true;
}

}  // namespace tsv
