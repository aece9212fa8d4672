#include "platform/AudioDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/SoundTestSupport.h"
#include "media/WavFile.h"
#include "platform/PortAudioDevice.h"
#include "platform/SilentAudioDevice.h"
#include "platform/WavAudioDevice.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

using std::chrono::milliseconds;
using test::CallbackRecorder;
using test::SteadyClock;
using test::TestBlock;

using Pace = SilentAudioDevice::Pace;

std::vector<int16_t> Join(const std::vector<std::vector<int16_t>>& blocks) {
  std::vector<int16_t> all;
  for (const auto& block : blocks) all.insert(all.end(), block.begin(), block.end());
  return all;
}

// First in this file: the library's start-up probe runs once per process.
TEST(AudioDevice, AutoProbeLeavesStandardErrorClean) {
  testing::internal::CaptureStderr();
  std::unique_ptr<AudioDevice> device = MakeAudioDevice("auto");
  const std::string noise = testing::internal::GetCapturedStderr();
  EXPECT_EQ(noise, "");
  ASSERT_NE(device, nullptr);
}

TEST(AudioDevice, KindsMakeTheirDevices) {
  enum class Made { None, Silent, Wav, PortAudio };
  const bool soundCard = PortAudioDevice::DefaultOutputOpens();
  const struct {
    const char* kind;
    Made made;
  } cases[] = {
      {"null", Made::Silent},      {"wav:/tmp/x.wav", Made::Wav},
      {"device", Made::PortAudio}, {"auto", soundCard ? Made::PortAudio : Made::Silent},
      {"wav:", Made::None},        {"", Made::None},
      {"Null", Made::None},        {"speaker", Made::None},
  };
  for (const auto& c : cases) {
    const std::unique_ptr<AudioDevice> device = MakeAudioDevice(c.kind);
    Made made = Made::None;
    if (dynamic_cast<WavAudioDevice*>(device.get()))
      made = Made::Wav;
    else if (dynamic_cast<SilentAudioDevice*>(device.get()))
      made = Made::Silent;
    else if (dynamic_cast<PortAudioDevice*>(device.get()))
      made = Made::PortAudio;
    EXPECT_EQ(made, c.made) << c.kind;
  }
}

// CI has no sound card: "auto" must still give a device that opens and
// runs its clock.
TEST(AudioDevice, AutoDeviceAlwaysOpensAndPlays) {
  CallbackRecorder recorder;
  std::unique_ptr<AudioDevice> device = MakeAudioDevice("auto");
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->Open(recorder.Callbacks()));
  const std::vector<int16_t> block = TestBlock(1, 80);
  ASSERT_TRUE(device->Write(block.data(), block.size()));
  EXPECT_TRUE(recorder.WaitDone(1));
  device->Close();
  EXPECT_EQ(recorder.events(), "dc");
}

TEST(AudioDevice, SoundCardDeviceWithoutACardRefusesEverything) {
  if (PortAudioDevice::DefaultOutputOpens()) GTEST_SKIP() << "this machine has a sound output";
  CallbackRecorder recorder;
  PortAudioDevice device;
  EXPECT_FALSE(device.Open(recorder.Callbacks()));
  const std::vector<int16_t> block = TestBlock(1, 80);
  EXPECT_FALSE(device.Write(block.data(), block.size()));
  device.Pause();
  device.Restart();
  device.Reset();
  device.Close();
  EXPECT_EQ(recorder.events(), "");
}

TEST(AudioDevice, WavDeviceKeepsExactlyThePlayedBlocksInOrderAcrossSessions) {
  test::TempDir dir;
  const std::string path = dir.File("sound.wav");
  const std::vector<std::vector<int16_t>> sessions[] = {
      {TestBlock(1, 4096), TestBlock(2, 1), TestBlock(3, 0), TestBlock(4, 333)},
      {TestBlock(5, 4096), TestBlock(6, 2)},
  };
  CallbackRecorder recorder;
  WavAudioDevice device(path, Pace::Instant);
  int written = 0;
  std::vector<int16_t> expected;
  for (const auto& session : sessions) {
    ASSERT_TRUE(device.Open(recorder.Callbacks()));
    for (const auto& block : session) {
      // The device holds three blocks; wait for room as the engine does.
      ASSERT_TRUE(recorder.WaitDone(written - kAudioDeviceQueueBlocks + 1));
      ASSERT_TRUE(device.Write(block.data(), block.size()));
      ++written;
    }
    ASSERT_TRUE(recorder.WaitDone(written));
    device.Close();
    const std::vector<int16_t> played = Join(session);
    expected.insert(expected.end(), played.begin(), played.end());
  }
  EXPECT_EQ(recorder.events(), "ddddcddc");
  std::string error;
  ASSERT_TRUE(device.Finish(&error)) << error;
  const std::vector<uint8_t> file = test::ReadBytes(path);
  EXPECT_EQ(file, EncodeWav(expected));
  EXPECT_EQ(test::WavSamples(file), expected);
}

TEST(AudioDevice, WavDeviceNeverReplacesAnExistingFile) {
  test::TempDir dir;
  const std::string path = dir.File("taken.wav");
  test::WriteBytes(path, {1, 2, 3});
  CallbackRecorder recorder;
  WavAudioDevice device(path, Pace::Instant);
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  const std::vector<int16_t> block = TestBlock(1, 100);
  ASSERT_TRUE(device.Write(block.data(), block.size()));
  ASSERT_TRUE(recorder.WaitDone(1));
  std::string error;
  EXPECT_FALSE(device.Finish(&error));
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
  EXPECT_EQ(test::ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(test::ListFolder(dir.path()), (std::vector<std::string>{"taken.wav"}));
}

// An 8192-byte block is 512 ms of sound; the clock never runs early. Only
// lower bounds are checked: a slow machine may be late, never early.
TEST(AudioDevice, SilentDeviceConsumesEightThousandSamplesPerSecond) {
  CallbackRecorder recorder;
  SilentAudioDevice device;
  const std::vector<std::vector<int16_t>> blocks = {TestBlock(1, 4096), TestBlock(2, 0), TestBlock(3, 800)};
  const milliseconds endsAfter[] = {milliseconds(512), milliseconds(512), milliseconds(612)};
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  const auto start = SteadyClock::now();
  for (const auto& block : blocks) ASSERT_TRUE(device.Write(block.data(), block.size()));
  // Half way through the first block nothing is done yet.
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(recorder.done(), 0);
  ASSERT_TRUE(recorder.WaitDone(3));
  const auto times = recorder.doneTimes();
  for (int i = 0; i < 3; ++i) EXPECT_GE(times[i] - start, endsAfter[i]) << "block " << i;
  // Sanity only: the whole second did not take several.
  EXPECT_LT(times[2] - start, milliseconds(3000));
  device.Close();
}

TEST(AudioDevice, PauseStopsTheClockMidBlock) {
  CallbackRecorder recorder;
  SilentAudioDevice device;
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  const std::vector<int16_t> block = TestBlock(1, 3200);  // 400 ms
  const auto written = SteadyClock::now();
  ASSERT_TRUE(device.Write(block.data(), block.size()));
  std::this_thread::sleep_for(milliseconds(20));
  device.Pause();
  const auto paused = SteadyClock::now();
  // Well past the block's end had the clock run on.
  std::this_thread::sleep_for(milliseconds(450));
  EXPECT_EQ(recorder.done(), 0);
  const auto restarted = SteadyClock::now();
  device.Restart();
  ASSERT_TRUE(recorder.WaitDone(1));
  // At most (paused - written) was played before the pause.
  EXPECT_GE(recorder.doneTimes()[0] - restarted, milliseconds(400) - (paused - written));
  device.Close();
}

// Blocks written while paused wait, whatever the pace.
TEST(AudioDevice, PausedDeviceHoldsNewBlocks) {
  for (const Pace pace : {Pace::Instant, Pace::RealRate}) {
    CallbackRecorder recorder;
    SilentAudioDevice device(pace);
    ASSERT_TRUE(device.Open(recorder.Callbacks()));
    device.Pause();
    const std::vector<int16_t> block = TestBlock(1, 8);  // 1 ms
    ASSERT_TRUE(device.Write(block.data(), block.size()));
    ASSERT_TRUE(device.Write(block.data(), block.size()));
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(recorder.done(), 0);
    device.Restart();
    EXPECT_TRUE(recorder.WaitDone(2));
    device.Close();
    EXPECT_EQ(recorder.events(), "ddc");
  }
}

TEST(AudioDevice, ResetReportsEveryQueuedBlockBeforeItReturnsAndPlaysNone) {
  for (const bool paused : {false, true}) {
    test::TempDir dir;
    const std::string path = dir.File("reset.wav");
    CallbackRecorder recorder;
    WavAudioDevice device(path);
    ASSERT_TRUE(device.Open(recorder.Callbacks()));
    if (paused) device.Pause();
    const std::vector<int16_t> block = TestBlock(1, 4096);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(device.Write(block.data(), block.size()));
    device.Reset();
    EXPECT_EQ(recorder.done(), 3) << "paused " << paused;
    // The queue has room again, and a paused device stays paused.
    const std::vector<int16_t> small = TestBlock(2, 8);
    ASSERT_TRUE(device.Write(small.data(), small.size()));
    if (paused) {
      std::this_thread::sleep_for(milliseconds(30));
      EXPECT_EQ(recorder.done(), 3);
      device.Restart();
    }
    ASSERT_TRUE(recorder.WaitDone(4));
    std::string error;
    ASSERT_TRUE(device.Finish(&error)) << error;
    EXPECT_EQ(test::WavSamples(test::ReadBytes(path)), small) << "paused " << paused;
  }
}

TEST(AudioDevice, WriteRefusesWhenClosedOrFull) {
  CallbackRecorder recorder;
  SilentAudioDevice device;
  const std::vector<int16_t> block = TestBlock(1, 80);
  EXPECT_FALSE(device.Write(block.data(), block.size())) << "never opened";
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  device.Pause();
  for (int i = 0; i < kAudioDeviceQueueBlocks; ++i) EXPECT_TRUE(device.Write(block.data(), block.size()));
  EXPECT_FALSE(device.Write(block.data(), block.size())) << "full";
  device.Close();
  EXPECT_FALSE(device.Write(block.data(), block.size())) << "closed";
  // Only the three taken blocks are reported.
  EXPECT_EQ(recorder.events(), "dddc");
}

TEST(AudioDevice, CloseReportsQueuedBlocksThenClosedOnceAndReopens) {
  CallbackRecorder first;
  SilentAudioDevice device;
  device.Close();  // never opened: nothing happens
  ASSERT_TRUE(device.Open(first.Callbacks()));
  EXPECT_FALSE(device.Open(first.Callbacks())) << "already open";
  const std::vector<int16_t> block = TestBlock(1, 4096);
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(device.Write(block.data(), block.size()));
  device.Close();
  device.Close();
  EXPECT_EQ(first.events(), "ddc");

  CallbackRecorder second;
  ASSERT_TRUE(device.Open(second.Callbacks()));
  const std::vector<int16_t> small = TestBlock(2, 8);
  ASSERT_TRUE(device.Write(small.data(), small.size()));
  EXPECT_TRUE(second.WaitDone(1));
  device.Close();
  EXPECT_EQ(second.events(), "dc");
  EXPECT_EQ(first.events(), "ddc");
}

}  // namespace
}  // namespace tsv
