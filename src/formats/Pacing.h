// Display-time waits of the JPEG picture path.
#pragma once

#include <cstdint>

namespace tsv {

class Event;
struct PlaybackState;

// Shift (fast levels) or repeat count (slow levels) per speed level 0..8.
uint32_t SpeedStep(uint8_t level);

// Sleeps ms milliseconds on the state's clock; returns early when stop is
// set. True when the stop event was not found set.
bool SleepUnlessStopped(PlaybackState& state, Event* stop, uint32_t ms);

// Slow levels (below normal): waits the interval t, less 7 ms of drawing
// time, once per repeat; 0 when stopped.
bool SlowLevelSleep(PlaybackState& state, Event* stop, uint32_t interval);

}  // namespace tsv
