// The player's commands against a running engine.
#include <gtest/gtest.h>

#include "EngineHarness.h"

namespace tsv {
namespace {

using test::PictureFrames;
using test::PlayedRecording;

SynthOptions Pictures(uint32_t frames) {
  SynthOptions o;
  o.frames = frames;
  o.keyInterval = 10;
  o.resolutionCode = 4;
  return o;
}

TEST(PlayerCommands, WithoutSoundPicturesStillStartAfterThePreroll) {
  // Paced by a sound clock that never comes: the first picture waits for
  // 49 decoded pictures, or for the last frame in a shorter file.
  for (uint32_t frames : {70u, 20u}) {
    PlayedRecording rec(Pictures(frames));
    rec.state().videoPacing = 0;
    rec.state().defaultVideoPacing = 0;
    ASSERT_TRUE(rec.commands->Start()) << frames;
    ASSERT_TRUE(rec.WaitForEnd()) << frames;
    EXPECT_EQ(rec.front.Frames(), PictureFrames(rec.reader())) << frames;
  }
}

TEST(PlayerCommands, FastForwardWhileTheFirstPictureWaitsForSoundStillPlays) {
  // The sound starts 40 pictures in: the first picture waits for it, then
  // the speed change turns the sound off before it comes.
  SynthOptions o = Pictures(200);
  o.sound = true;
  o.soundStartMs = 1600;
  PlayedRecording rec(o);
  rec.state().videoPacing = 0;
  rec.state().defaultVideoPacing = 0;
  ASSERT_TRUE(rec.commands->Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  rec.commands->FastForward();
  EXPECT_TRUE(rec.WaitForPictures(5, std::chrono::milliseconds(5000)));
}

TEST(PlayerCommands, SpeedLevelsStopAtBothEnds) {
  PlayedRecording rec(Pictures(200));
  ASSERT_TRUE(rec.commands->Start());
  for (int i = 0; i < 10; ++i) rec.commands->FastForward();
  EXPECT_EQ(rec.state().speedLevel, 8);
  EXPECT_EQ(rec.state().offSpeed, 1u);
  for (int i = 0; i < 12; ++i) rec.commands->SlowForward();
  EXPECT_EQ(rec.state().speedLevel, 0);
  EXPECT_EQ(rec.state().durationText.substr(rec.state().durationText.size() - 6), "1/16 X");
}

TEST(PlayerCommands, HoldingFastForwardWhilePausedPlaysUntilTheRelease) {
  PlayedRecording rec(Pictures(200));
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForPictures(2));
  rec.commands->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::size_t before = rec.front.Frames().size();
  rec.commands->FastButtonDown(kFastForwardButton);
  rec.commands->FastButtonHeld();  // held for a second
  EXPECT_EQ(rec.state().speedLevel, kSpeedNormal);
  ASSERT_TRUE(rec.WaitForPictures(before + 5));
  rec.commands->FastButtonUp();
  EXPECT_EQ(rec.state().speedLevel, kSpeedPaused);
  EXPECT_EQ(rec.state().paused, 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::size_t held = rec.front.Frames().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(rec.front.Frames().size(), held);
}

TEST(PlayerCommands, AMarkedStretchLoopsBackToItsFirstMark) {
  PlayedRecording rec(Pictures(80));
  rec.state().marksComplete = 1;
  rec.state().secondMarkFrame = 35;
  ASSERT_TRUE(rec.commands->Start());
  rec.state().speedLevel = kSpeedPaused;
  rec.state().offSpeed = 1;
  rec.state().videoPacing = 1;
  ASSERT_TRUE(rec.WaitForEnd());
  ASSERT_TRUE(rec.front.stretchEnded);
  rec.front.stretchEnded = false;
  rec.front.Clear();
  rec.commands->LoopBack(21);
  ASSERT_TRUE(rec.WaitForEnd());
  const std::vector<uint32_t> again = rec.front.Frames();
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.front(), 21u);  // the key picture at the first mark
  EXPECT_EQ(again.back(), 35u);
}

TEST(PlayerCommands, StopReturnsToTheStartAndPlayBeginsThere) {
  PlayedRecording rec(Pictures(100));
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForPictures(10));
  rec.commands->Stop();
  EXPECT_EQ(rec.state().playing, 0u);
  EXPECT_EQ(rec.state().progressPercent, 0);
  rec.front.Clear();
  rec.commands->Play();
  ASSERT_TRUE(rec.WaitForPictures(1));
  EXPECT_EQ(rec.front.Frames().front(), 1u);
}

}  // namespace
}  // namespace tsv
