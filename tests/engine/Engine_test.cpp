// Whole recordings through the four engine threads.
#include <gtest/gtest.h>

#include <algorithm>

#include "EngineHarness.h"

namespace tsv {
namespace {

using test::PictureFrames;
using test::PlayedRecording;

SynthOptions Small(SynthLayout layout) {
  SynthOptions o;
  o.layout = layout;
  o.frames = 30;
  o.rate = 25;
  o.keyInterval = 10;
  o.resolutionCode = layout == SynthLayout::Vsx ? 4 : 0;  // small pictures
  return o;
}

// The pictures drawn are the recording's pictures, once each and in order.
// When the recording ends in a sound frame, its last picture carries the
// next frame number, so that the end is seen on it.
void ExpectEveryPicture(PlayedRecording& rec, const char* what) {
  const std::vector<uint32_t> expected = PictureFrames(rec.reader());
  std::vector<uint32_t> shown = rec.front.Frames();
  ASSERT_EQ(shown.size(), expected.size()) << what;
  if (expected.back() < rec.state().indexCount && shown.back() == expected.back() + 1) --shown.back();
  EXPECT_EQ(shown, expected) << what;
}

// Unpaced: pictures follow as decoded, sound is not played.
void Unpaced(PlaybackState& st) {
  st.speedLevel = kSpeedPaused;
  st.offSpeed = 1;
  st.videoPacing = 1;
}

TEST(Engine, EveryPictureOnceAndInOrder) {
  struct Case {
    const char* what;
    SynthOptions options;
  } cases[] = {
      {"vs4 MPEG-4 key-referenced", Small(SynthLayout::Vsx)},
      {"vs4 MPEG-4 chain", [] { auto o = Small(SynthLayout::Vsx); o.predictedMode = 0; return o; }()},
      {"vs4 JPEG", [] { auto o = Small(SynthLayout::Vsx); o.codec = SynthCodec::Jpeg; return o; }()},
      {"vs4 with sound", [] { auto o = Small(SynthLayout::Vsx); o.sound = true; return o; }()},
      {"vse type 2", Small(SynthLayout::Qrv)},
      {"vse type 0 JPEG", [] { auto o = Small(SynthLayout::Qrv); o.streamType = 0; return o; }()},
  };
  for (auto& c : cases) {
    PlayedRecording rec(c.options);
    Unpaced(rec.state());
    ASSERT_TRUE(rec.commands->Start()) << c.what;
    Unpaced(rec.state());
    ASSERT_TRUE(rec.WaitForEnd()) << c.what;
    ExpectEveryPicture(rec, c.what);
    EXPECT_EQ(rec.state().endReached, 1u) << c.what;
    EXPECT_EQ(rec.state().playing, 0u) << c.what;
  }
}

TEST(Engine, PacedPlayWithSoundReachesTheEnd) {
  SynthOptions o = Small(SynthLayout::Vsx);
  o.frames = 20;
  o.sound = true;
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForEnd());
  ExpectEveryPicture(rec, "paced with sound");
  EXPECT_GT(rec.engine().soundBlocksPlayed.load(), 0u);
}

TEST(Engine, PauseHoldsAndAStepShowsExactlyOnePicture) {
  SynthOptions o = Small(SynthLayout::Vsx);
  o.frames = 100;
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForPictures(3));
  rec.commands->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::size_t held = rec.front.Frames().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(rec.front.Frames().size(), held);  // nothing drawn while paused
  rec.commands->FastForward();                  // a step
  ASSERT_TRUE(rec.WaitForPictures(held + 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(rec.front.Frames().size(), held + 1);
  EXPECT_EQ(rec.state().paused, 1u);

}

TEST(Engine, LeavingPauseShowsThePicturesDecodedMeanwhile) {
  SynthOptions o = Small(SynthLayout::Vsx);
  o.frames = 100;
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForPictures(3));
  rec.commands->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the rings fill
  const std::size_t held = rec.front.Frames().size();
  // No restart: the frames go on from the one shown last, none skipped or
  // repeated.
  rec.commands->Pause();
  ASSERT_TRUE(rec.WaitForPictures(held + 30));
  const std::vector<uint32_t> frames = rec.front.Frames();
  const std::vector<uint32_t> all = PictureFrames(rec.reader());
  const auto at = std::find(all.begin(), all.end(), frames[held - 1]);
  ASSERT_NE(at, all.end());
  for (std::size_t i = held; i < frames.size(); ++i) {
    const auto expected = at + static_cast<std::ptrdiff_t>(i - held + 1);
    ASSERT_NE(expected, all.end());
    EXPECT_EQ(frames[i], *expected) << i;
  }
}

TEST(Engine, PreviewShowsOnePictureAtTheNewPosition) {
  SynthOptions o = Small(SynthLayout::Vsx);
  o.frames = 100;
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForPictures(2));
  rec.commands->Pause();
  rec.front.Clear();
  rec.commands->Preview(50);
  const std::vector<uint32_t> shown = rec.front.Frames();
  ASSERT_EQ(shown.size(), 1u);
  // The key picture at or before the middle of the file.
  EXPECT_NEAR(static_cast<int>(shown[0]), 50, 10);
}

TEST(Engine, BackwardPlayEndsAtTheFirstFrame) {
  SynthOptions o = Small(SynthLayout::Vsx);
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());
  Unpaced(rec.state());
  ASSERT_TRUE(rec.WaitForEnd());
  rec.front.Clear();
  rec.front.slider = 100;
  rec.commands->SlowRewind();
  rec.state().speedLevel = 8;
  ASSERT_TRUE(rec.WaitForEnd());
  const std::vector<uint32_t> shown = rec.front.Frames();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), 1u);
  for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_LT(shown[i], shown[i - 1]) << i;
}

TEST(Engine, AMarkedStretchEndsAtItsSecondMark) {
  SynthOptions o = Small(SynthLayout::Vsx);
  o.frames = 60;
  PlayedRecording rec(o);
  rec.state().marksComplete = 1;
  rec.state().secondMarkFrame = 25;
  ASSERT_TRUE(rec.commands->Start());
  Unpaced(rec.state());
  ASSERT_TRUE(rec.WaitForEnd());
  EXPECT_TRUE(rec.front.stretchEnded);
  EXPECT_EQ(rec.front.Frames().back(), 25u);
}

TEST(Engine, SoundOnlyRecordingPlaysToTheEndOfItsSound) {
  SynthOptions o = Small(SynthLayout::Vsx);
  o.soundOnly = true;
  o.frames = 10;
  PlayedRecording rec(o);
  ASSERT_TRUE(rec.commands->Start());
  ASSERT_TRUE(rec.WaitForEnd());
  EXPECT_TRUE(rec.front.Frames().empty());
  EXPECT_EQ(rec.state().endReached, 1u);
  EXPECT_GT(rec.engine().soundBlocksPlayed.load(), 0u);
}

}  // namespace
}  // namespace tsv
