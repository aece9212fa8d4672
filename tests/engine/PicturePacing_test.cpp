// The wait before each picture, against a clock that records the sleeps.
#include "engine/PicturePacing.h"

#include <gtest/gtest.h>

#include <vector>

#include "formats/PlaybackState.h"
#include "platform/Clock.h"
#include "platform/Event.h"

namespace tsv {
namespace {

class RecordingClock final : public Clock {
 public:
  uint64_t NowMs() override { return now; }
  bool Sleep(Event& abort, uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
    if (abortAfter && sleeps.size() >= abortAfter) abort.Set();
    return !abort.IsSet();
  }
  uint64_t now = 0;
  std::vector<uint32_t> sleeps;
  std::size_t abortAfter = 0;
};

struct Case {
  const char* what;
  uint8_t level;
  uint32_t videoPacing;
  uint32_t windowStart, windowEnd;
  uint32_t t, v;
  uint16_t progress;
  std::vector<uint32_t> sleeps;
};

TEST(PicturePacing, WaitsFollowLevelIntervalAndSoundClock) {
  const std::vector<uint32_t> sixteenTimes(16, 33);
  const Case cases[] = {
      {"level 0, t 40: 16 x 33 ms", 0, 1, 0, 0, 40, 0, 0, sixteenTimes},
      {"level 0, t 600: a gap, no wait", 0, 1, 0, 0, 600, 0, 0, {}},
      {"level 0, t 7: too short to wait", 0, 1, 0, 0, 7, 0, 0, {}},
      {"level 3, t 40: twice", 3, 0, 0, 0, 40, 0, 0, {33, 33}},
      {"level 8, t 40: 33 >> 4", 8, 0, 0, 0, 40, 0, 0, {2}},
      {"level 5, t 40: 33 >> 1", 5, 0, 0, 0, 40, 0, 0, {16}},
      {"level 5, t 600: a gap", 5, 0, 0, 0, 600, 0, 0, {}},
      {"level 4 own pacing, t 40", 4, 1, 0, 0, 40, 0, 0, {33}},
      {"level 4 own pacing, t 5", 4, 1, 0, 0, 5, 0, 0, {5}},
      {"paused (16): no pacing", 16, 0, 0, 0, 40, 0, 0, {}},
      {"sound clock, no sound, t 40", 4, 0, 0, 0, 40, 100, 0, {33}},
      {"sound clock, no sound, t 600", 4, 0, 0, 0, 600, 100, 0, {593}},
      {"sound clock, picture inside the window", 4, 0, 1000, 2000, 40, 1500, 0, {33}},
      {"sound clock, t 600 with sound: at once", 4, 0, 1000, 2000, 600, 1500, 0, {}},
      {"sound clock, ahead of the sound", 4, 0, 1000, 2000, 40, 2500, 0, {10, 66}},
      {"sound clock, ahead at 99 percent", 4, 0, 1000, 2000, 40, 2500, 99, {10}},
      {"sound clock, behind by 2000: catch up", 4, 0, 3000, 4000, 40, 2000, 0, {}},
      {"sound clock, behind by 4000: normal wait", 4, 0, 5000, 6000, 40, 2000, 0, {33}},
  };
  for (const Case& c : cases) {
    PlaybackState st;
    st.speedLevel = c.level;
    st.videoPacing = c.videoPacing;
    st.audioWindowStart = c.windowStart;
    st.audioWindowEnd = c.windowEnd;
    st.progressPercent = c.progress;
    Event abort(true, false);
    RecordingClock clock;
    EXPECT_TRUE(PacePicture(st, c.t, c.v, clock, abort)) << c.what;
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.what;
  }
}

TEST(PicturePacing, HalfReadySoundClockPollsUntilReady) {
  PlaybackState st;
  st.speedLevel = kSpeedNormal;
  st.videoPacing = 0;
  st.audioWindowStart = 1000;  // the end is not known yet
  Event abort(true, false);
  RecordingClock clock;
  clock.abortAfter = 5;
  EXPECT_FALSE(PacePicture(st, 40, 1500, clock, abort));
  EXPECT_EQ(clock.sleeps, std::vector<uint32_t>(5, 10));
}

TEST(PicturePacing, AStopEndsEveryWait) {
  for (uint8_t level : {0, 4}) {
    PlaybackState st;
    st.speedLevel = level;
    st.videoPacing = 0;
    Event abort(true, true);
    RecordingClock clock;
    // A frame without predecessor (65535 ms) must not hold a stop back.
    EXPECT_FALSE(PacePicture(st, 65535, 0, clock, abort)) << int{level};
    EXPECT_TRUE(clock.sleeps.empty()) << int{level};
  }
  PlaybackState st;
  st.speedLevel = 0;
  Event abort(true, false);
  RecordingClock clock;
  clock.abortAfter = 3;
  EXPECT_FALSE(PacePicture(st, 40, 0, clock, abort));
  EXPECT_EQ(clock.sleeps.size(), 3u);
}

TEST(PicturePacing, OffSpeedAtLevelFourShowsAtOnce) {
  PlaybackState st;
  st.speedLevel = kSpeedNormal;
  st.videoPacing = 0;
  st.offSpeed = 1;
  Event abort(true, false);
  RecordingClock clock;
  EXPECT_TRUE(PacePicture(st, 40, 0, clock, abort));
  EXPECT_TRUE(clock.sleeps.empty());
}

}  // namespace
}  // namespace tsv
