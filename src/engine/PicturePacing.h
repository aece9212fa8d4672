// The wait before each picture: its own interval scaled by the speed
// level, or at normal speed with sound the position of the sound playing.
#pragma once

#include <cstdint>

namespace tsv {

class Clock;
class Event;
struct PlaybackState;

// Drawing allowance subtracted from an interval, in milliseconds.
constexpr uint32_t kDrawAllowanceMs = 7;
// Polling sleep while the sound clock is not ready, in milliseconds.
constexpr uint32_t kClockPollMs = 10;
// An interval of this many milliseconds or more is a gap in the recording.
constexpr uint32_t kGapMs = 500;
// A picture at most this far behind the sound is shown at once.
constexpr uint32_t kCatchUpMs = 3000;

// Waits before a picture with timer interval t and frame time v (both
// milliseconds). False when `abort` was found set (the caller ends).
bool PacePicture(PlaybackState& state, uint32_t t, uint32_t v, Clock& clock, Event& abort);

}  // namespace tsv
