// The sound-card device, played through ALSA's "null" output: a private
// configuration file makes it the default output of this test program, so
// the real-time callback, the queue and the notifier run as they would
// with a sound card, on machines that have none.
#include "platform/PortAudioDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/SoundTestSupport.h"
#include "engine/WaveOutput.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

using std::chrono::milliseconds;
using test::CallbackRecorder;
using test::TestBlock;
using test::WaitUntil;

// ALSA reads ~/.asoundrc when PortAudio starts; it starts once per
// process, so every test here calls this first.
bool UseNullSoundOutput() {
  static const bool ready = [] {
    static test::TempDir home;
    const std::string config = "pcm.!default {\n  type null\n}\n";
    test::WriteBytes(home.File(".asoundrc"), std::vector<uint8_t>(config.begin(), config.end()));
    ::setenv("HOME", home.path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    return PortAudioDevice::DefaultOutputOpens();
  }();
  return ready;
}

#define REQUIRE_NULL_OUTPUT() \
  if (!UseNullSoundOutput()) GTEST_SKIP() << "ALSA's null output is not available here"

TEST(PortAudioDevice, PlaysBlocksAndReportsEachInOrder) {
  REQUIRE_NULL_OUTPUT();
  CallbackRecorder recorder;
  PortAudioDevice device;
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  // Blocks of every shape: full, one sample, empty.
  const std::vector<std::vector<int16_t>> blocks = {TestBlock(1, 4096), TestBlock(2, 1), TestBlock(3, 0),
                                                    TestBlock(4, 800), TestBlock(5, 4096)};
  int written = 0;
  for (const auto& block : blocks) {
    ASSERT_TRUE(recorder.WaitDone(written - kAudioDeviceQueueBlocks + 1));
    ASSERT_TRUE(device.Write(block.data(), block.size()));
    ++written;
  }
  EXPECT_TRUE(recorder.WaitDone(written));
  device.Close();
  EXPECT_EQ(recorder.events(), "dddddc");
}

TEST(PortAudioDevice, PauseHoldsBlocksAndRestartPlaysThem) {
  REQUIRE_NULL_OUTPUT();
  CallbackRecorder recorder;
  PortAudioDevice device;
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  device.Pause();
  const std::vector<int16_t> block = TestBlock(1, 80);
  ASSERT_TRUE(device.Write(block.data(), block.size()));
  ASSERT_TRUE(device.Write(block.data(), block.size()));
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_EQ(recorder.done(), 0);
  device.Restart();
  EXPECT_TRUE(recorder.WaitDone(2));
  device.Close();
}

TEST(PortAudioDevice, ResetAndCloseReportEveryQueuedBlock) {
  REQUIRE_NULL_OUTPUT();
  CallbackRecorder recorder;
  PortAudioDevice device;
  ASSERT_TRUE(device.Open(recorder.Callbacks()));
  device.Pause();
  const std::vector<int16_t> block = TestBlock(1, 4096);
  for (int i = 0; i < kAudioDeviceQueueBlocks; ++i) ASSERT_TRUE(device.Write(block.data(), block.size()));
  EXPECT_FALSE(device.Write(block.data(), block.size())) << "a fourth block";
  device.Reset();
  EXPECT_EQ(recorder.done(), 3);
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(device.Write(block.data(), block.size()));
  device.Close();
  device.Close();
  EXPECT_EQ(recorder.events(), "dddddc");
  EXPECT_FALSE(device.Write(block.data(), block.size())) << "closed";
  // And it opens again.
  CallbackRecorder second;
  ASSERT_TRUE(device.Open(second.Callbacks()));
  ASSERT_TRUE(device.Write(block.data(), 8));
  EXPECT_TRUE(second.WaitDone(1));
  device.Close();
  EXPECT_EQ(second.events(), "dc");
}

TEST(PortAudioDevice, WaveOutputPlaysTheSoundRingThroughIt) {
  REQUIRE_NULL_OUTPUT();
  SyncDomain domain;
  Event abort(true, false, &domain);
  Semaphore soundFree(49, 49, domain);
  std::atomic<int> completions{0};
  std::vector<uint8_t> ring(50 * kWaveBlockBytes, 0);
  WaveOutput wave;
  PrepareWaveBuffers(wave);
  ASSERT_TRUE(OpenWaveOutput(wave, "device", abort, soundFree, [&] { ++completions; }));
  test::Watchdog watchdog("sound through the sound-card device");
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(soundFree.TryAcquire() || WaitAbortOr(abort, soundFree));
    ASSERT_TRUE(PlayBlock(wave, i % 50, ring.data() + (i % 50) * kWaveBlockBytes, 800));
  }
  EXPECT_TRUE(WaitUntil([&] { return completions == 12; }));
  CloseWaveOutput(wave);
  EXPECT_EQ(soundFree.Count(), 49);
  ReleaseWaveBuffers(wave);
}

}  // namespace
}  // namespace tsv
