// Random commands against a running engine: every command returns (a
// watchdog fails the test on a deadlock) and the engine still plays.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

#include "EngineHarness.h"

namespace tsv {
namespace {

using test::PlayedRecording;

TEST(EngineStress, TwoThousandRandomCommandsNeverDeadlock) {
  SynthOptions o;
  o.frames = 60;
  o.keyInterval = 10;
  o.resolutionCode = 4;
  o.sound = true;
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());

  std::atomic<int> done{0};
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    int last = -1;
    for (int idle = 0; !finished; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
      const int now = done;
      idle = now == last ? idle + 1 : 0;
      last = now;
      if (idle >= 100) {  // ten seconds without a command finishing
        std::fprintf(stderr, "watchdog: no command finished for 10 s after %d commands\n", now);
        std::_Exit(3);
      }
    }
  });

  std::mt19937 random(20261206);
  PlayerCommands& c = *rec.commands;
  for (int i = 0; i < 2000; ++i) {
    switch (random() % 12) {
      case 0: c.Play(); break;
      case 1: c.Pause(); break;
      case 2: c.Stop(); break;
      case 3: c.FastForward(); break;
      case 4: c.SlowForward(); break;
      case 5: c.FastRewind(); break;
      case 6: c.SlowRewind(); break;
      case 7: rec.front.slider = static_cast<uint16_t>(random() % 101); c.ResumeAtSlider(); break;
      case 8:
        c.BeginSeek();
        c.Preview(static_cast<uint16_t>(random() % 101));
        if (random() % 2) c.EndSeek(static_cast<uint16_t>(random() % 101));
        break;
      case 9: c.FastButtonDown(random() % 2 ? kFastForwardButton : kFastRewindButton); break;
      case 10: c.FastButtonHeld(); break;
      case 11: c.FastButtonUp(); break;
    }
    if (random() % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(random() % 5));
    ++done;
  }
  finished = true;
  watchdog.join();

  // Still a working player: from the start it plays to the end.
  if (c.seeking()) c.EndSeek(0);
  c.Stop();
  rec.front.Clear();
  c.Play();
  rec.state().speedLevel = kSpeedPaused;  // unpaced
  rec.state().offSpeed = 1;
  rec.state().videoPacing = 1;
  EXPECT_TRUE(rec.WaitForEnd());
  EXPECT_FALSE(rec.front.Frames().empty());
}

}  // namespace
}  // namespace tsv
