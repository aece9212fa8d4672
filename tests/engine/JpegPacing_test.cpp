// The JPEG path's waits (the readers' JpegDoSleep) on a recording clock.
#include <gtest/gtest.h>

#include <vector>

#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "platform/Clock.h"
#include "platform/Event.h"

namespace tsv {
namespace {

class RecordingClock final : public Clock {
 public:
  uint64_t NowMs() override { return 0; }
  bool Sleep(Event& abort, uint32_t ms) override {
    sleeps.push_back(ms);
    return !abort.IsSet();
  }
  std::vector<uint32_t> sleeps;
};

struct Case {
  const char* what;
  bool qrv;
  uint8_t level;
  uint32_t videoPacing;
  uint32_t t;
  std::vector<uint32_t> sleeps;
};

TEST(JpegPacing, ReadersWaitByLevelAndInterval) {
  const Case cases[] = {
      {"vs4 level 0, t 40", false, 0, 1, 40, std::vector<uint32_t>(16, 33)},
      {"vs4 level 8, t 40", false, 8, 1, 40, {2}},
      {"vs4 level 4 own pacing, t 40", false, 4, 1, 40, {33}},
      {"vs4 level 4 own pacing, t 600: a gap", false, 4, 1, 600, {}},
      {"vs4 paused", false, 16, 1, 40, {}},
      {"vs4 sound clock without sound, t 40", false, 4, 0, 40, {33}},
      {"vse level 4, t 40", true, 4, 1, 40, {33}},
      {"vse level 4, t 65535: at most about two seconds", true, 4, 1, 65535, {1993}},
      {"vse level 6, t 40", true, 6, 1, 40, {8}},
      {"vse level 1, t 40", true, 1, 1, 40, std::vector<uint32_t>(8, 33)},
  };
  for (const Case& c : cases) {
    NullMessageSink sink;
    std::unique_ptr<CRecFile> reader;
    if (c.qrv) reader = std::make_unique<CZKQRV>(sink);
    else reader = std::make_unique<CVsxFile>(sink);
    PlaybackState& st = reader->state();
    RecordingClock clock;
    st.clock = &clock;
    st.speedLevel = c.level;
    st.videoPacing = c.videoPacing;
    st.ringIndex = 7;
    st.pictureRecords[7].timerInterval = c.t;
    Event stop(true, false);
    EXPECT_TRUE(reader->JpegDoSleep(&stop)) << c.what;
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.what;
  }
}

TEST(JpegPacing, AStopEndsTheSlowWaits) {
  NullMessageSink sink;
  CVsxFile reader(sink);
  RecordingClock clock;
  reader.state().clock = &clock;
  reader.state().speedLevel = 0;
  reader.state().pictureRecords[0].timerInterval = 40;
  Event stop(true, true);
  EXPECT_FALSE(reader.JpegDoSleep(&stop));
  EXPECT_TRUE(clock.sleeps.empty());
}

}  // namespace
}  // namespace tsv
