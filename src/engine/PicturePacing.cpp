#include "engine/PicturePacing.h"

#include "formats/Pacing.h"
#include "formats/PlaybackState.h"
#include "platform/Clock.h"
#include "platform/Event.h"

namespace tsv {

bool PacePicture(PlaybackState& st, uint32_t t, uint32_t v, Clock& clock, Event& abort) {
  const uint8_t level = st.speedLevel;
  const uint32_t shortened = t > kDrawAllowanceMs ? t - kDrawAllowanceMs : t;
  if (level > 8) return true;  // paused (16): pictures follow as decoded
  if (level < kSpeedNormal) {
    for (uint32_t n = 0; n < SpeedStep(level); ++n) {
      if (abort.IsSet()) return false;
      if (t > kDrawAllowanceMs && t < kGapMs && !clock.Sleep(abort, t - kDrawAllowanceMs)) return false;
    }
    return true;
  }
  if (level == kSpeedNormal && st.videoPacing == 0) {
    for (;;) {
      if (abort.IsSet()) return false;
      if (st.offSpeed == 1) return true;
      const uint32_t a = st.audioWindowStart, b = st.audioWindowEnd;
      // No sound playing: the picture's own interval. The sleep wakes on a
      // stop, so even the 65535 ms of a frame without predecessor never
      // holds a stop back.
      if (a == 0 && b == 0) return clock.Sleep(abort, shortened);
      if (a == 0 || b == 0) {
        if (!clock.Sleep(abort, kClockPollMs)) return false;
        continue;
      }
      if (t >= kGapMs) return true;
      if (a <= v && v <= b) return clock.Sleep(abort, shortened);
      if (v > b) {
        if (!clock.Sleep(abort, kClockPollMs)) return false;
        if (st.progressPercent != 99) return clock.Sleep(abort, 2 * shortened);
        return true;
      }
      if (b - v <= kCatchUpMs) return true;
      return clock.Sleep(abort, shortened);
    }
  }
  if (t >= kGapMs) return true;
  return clock.Sleep(abort, shortened >> SpeedStep(level));
}

}  // namespace tsv
