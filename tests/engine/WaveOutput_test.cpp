#include "engine/WaveOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/SoundTestSupport.h"
#include "media/WavFile.h"
#include "platform/SilentAudioDevice.h"
#include "platform/WavAudioDevice.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

using std::chrono::milliseconds;
using test::TestBlock;
using test::WaitUntil;
using test::Watchdog;
using Pace = SilentAudioDevice::Pace;

constexpr int kSoundRingPermits = 49;

// A device that opens or not, and takes blocks or not, as told.
class ScriptedDevice : public AudioDevice {
 public:
  ScriptedDevice(bool opens, bool takesBlocks) : opens_(opens), takes_(takesBlocks) {}
  bool Open(Callbacks) override { return opens_; }
  bool Write(const int16_t*, std::size_t) override { return takes_; }
  void Pause() override {}
  void Restart() override {}
  void Reset() override {}
  void Close() override {}

 private:
  const bool opens_;
  const bool takes_;
};

// The engine's side of the sound output: its sync domain, abort event and
// sound-free semaphore, a sound ring of distinct blocks, and a count of
// the completions the device reported.
struct SoundRig {
  explicit SoundRig(int soundFreeAtStart = kSoundRingPermits, bool prepare = true)
      : soundFree(soundFreeAtStart, kSoundRingPermits, domain), ring(50 * kWaveBlockBytes) {
    for (int slot = 0; slot < 50; ++slot) {
      const std::vector<int16_t> block = TestBlock(slot, kWaveBlockBytes / 2);
      std::memcpy(ring.data() + slot * kWaveBlockBytes, block.data(), kWaveBlockBytes);
    }
    if (prepare) PrepareWaveBuffers(wave);
  }
  ~SoundRig() { ReleaseWaveBuffers(wave); }

  std::function<void()> Completion() {
    return [this] {
      ++completions;
      if (onCompletion) onCompletion(completions.load());
    };
  }
  bool Open(std::shared_ptr<AudioDevice> device) {
    return OpenWaveOutput(wave, std::move(device), abort, soundFree, Completion());
  }
  bool Open(const std::string& kind) { return OpenWaveOutput(wave, kind, abort, soundFree, Completion()); }
  // Plays sound slot `slot` through header slot % 50, as the audio thread does.
  bool Play(int slot, std::size_t bytes = kWaveBlockBytes) {
    return PlayBlock(wave, slot % 50, ring.data() + (slot % 50) * kWaveBlockBytes, bytes);
  }
  int permits() const { return wave.blockPermits->Count(); }

  SyncDomain domain;
  Event abort{true, false, &domain};
  Semaphore soundFree;
  std::vector<uint8_t> ring;
  std::atomic<int> completions{0};
  // Runs on the device's thread after each completion is counted.
  std::function<void(int)> onCompletion;
  WaveOutput wave;
};

// Runs PlayBlock on its own thread, as the audio thread would.
class AudioThreadCall {
 public:
  AudioThreadCall(SoundRig& rig, int slot)
      : thread_([this, &rig, slot] {
          result_ = rig.Play(slot);
          returned_ = true;
        }) {}
  ~AudioThreadCall() { Join(); }
  bool returned() const { return returned_; }
  bool Join() {
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  std::atomic<bool> returned_{false};
  bool result_ = false;
  std::thread thread_;
};

TEST(WaveOutput, BlocksReachTheDeviceInOrderWithTheSlotsBytes) {
  test::TempDir dir;
  const std::string path = dir.File("sound.wav");
  // Byte counts as the audio thread hands them: full, short, empty, too
  // long for a block (cut to 8192), odd (the half sample dropped).
  const std::size_t byteCounts[] = {8192, 100, 0, 9000, 101, 2, 8192};
  const int blocks = static_cast<int>(std::size(byteCounts));
  SoundRig rig(kSoundRingPermits - blocks);
  auto device = std::make_shared<WavAudioDevice>(path, Pace::Instant);
  ASSERT_TRUE(rig.Open(device));
  std::vector<int16_t> expected;
  for (int i = 0; i < blocks; ++i) {
    // Sound slot 48 + i: the slot and header indexes wrap from 49 to 0.
    ASSERT_TRUE(rig.Play(48 + i, byteCounts[i])) << "block " << i;
    const std::vector<int16_t> block = TestBlock((48 + i) % 50, std::min<std::size_t>(byteCounts[i], 8192) / 2);
    expected.insert(expected.end(), block.begin(), block.end());
  }
  ASSERT_TRUE(WaitUntil([&] { return rig.completions == blocks; }));
  // Each finished block gave its sound slot back.
  EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits);
  EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks);
  std::string error;
  ASSERT_TRUE(ReleaseWaveBuffers(rig.wave, &error)) << error;
  EXPECT_EQ(test::ReadBytes(path), EncodeWav(expected));
}

TEST(WaveOutput, AtMostThreeBlocksAreQueuedInTheDevice) {
  SoundRig rig;
  ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>(Pace::Instant)));
  PauseWaveOutput(rig.wave);
  for (int i = 0; i < kAudioDeviceQueueBlocks; ++i) ASSERT_TRUE(rig.Play(i));
  EXPECT_EQ(rig.permits(), 0);
  Watchdog watchdog("a fourth block after a restart");
  AudioThreadCall fourth(rig, 3);
  std::this_thread::sleep_for(milliseconds(80));
  EXPECT_FALSE(fourth.returned()) << "a fourth block went to a device holding three";
  RestartWaveOutput(rig.wave);
  EXPECT_TRUE(fourth.Join());
  EXPECT_TRUE(WaitUntil([&] { return rig.completions == 4; }));
}

TEST(WaveOutput, AbortWakesPlayBlockAndStopsItQueueing) {
  SoundRig rig(kSoundRingPermits - 4);
  ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>(Pace::Instant)));
  PauseWaveOutput(rig.wave);
  for (int i = 0; i < kAudioDeviceQueueBlocks; ++i) ASSERT_TRUE(rig.Play(i));
  {
    Watchdog watchdog("PlayBlock after an abort");
    AudioThreadCall waiting(rig, 3);
    std::this_thread::sleep_for(milliseconds(30));
    rig.abort.Set();
    EXPECT_FALSE(waiting.Join());
  }
  // With the abort set nothing more is queued, even with permits free.
  ResetWaveOutput(rig.wave);
  ASSERT_EQ(rig.permits(), kAudioDeviceQueueBlocks);
  EXPECT_FALSE(rig.Play(4));
  RestartWaveOutput(rig.wave);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(rig.completions, 3);
  EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks);
  // An aborted block's slot is not given back: the engine is stopping.
  EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits - 1);
}

TEST(WaveOutput, PauseHoldsCompletionsUntilRestart) {
  SoundRig rig(kSoundRingPermits - 2);
  ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>(Pace::Instant)));
  PauseWaveOutput(rig.wave);
  ASSERT_TRUE(rig.Play(0));
  ASSERT_TRUE(rig.Play(1));
  std::this_thread::sleep_for(milliseconds(80));
  EXPECT_EQ(rig.completions, 0);
  EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits - 2);
  RestartWaveOutput(rig.wave);
  EXPECT_TRUE(WaitUntil([&] { return rig.completions == 2; }));
  EXPECT_TRUE(WaitUntil([&] { return rig.soundFree.Count() == kSoundRingPermits; }));
}

TEST(WaveOutput, ResetReportsEveryQueuedBlockDoneBeforeItReturns) {
  SoundRig rig(kSoundRingPermits - 3);
  // Real rate: three 512 ms blocks would take 1.5 s to play.
  ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>()));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(rig.Play(i));
  ResetWaveOutput(rig.wave);
  EXPECT_EQ(rig.completions, 3);
  EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks);
  EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits);
  // The device goes on with the next block.
  ASSERT_TRUE(rig.Play(3, 16));
  EXPECT_TRUE(WaitUntil([&] { return rig.completions == 4; }));
}

TEST(WaveOutput, CloseGivesFortyNinePermitsToBothSemaphoresUpToTheirMaxima) {
  const struct {
    int soundFreeAtStart;
    int queued;
    int held;  // permits taken by a PlayBlock that has not written yet
  } cases[] = {{0, 0, 0}, {0, 3, 0}, {10, 1, 1}, {46, 0, 3}, {49, 0, 0}};
  for (const auto& c : cases) {
    const std::string what =
        std::to_string(c.soundFreeAtStart) + "/" + std::to_string(c.queued) + "/" + std::to_string(c.held);
    SoundRig rig(c.soundFreeAtStart);
    ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>()));
    PauseWaveOutput(rig.wave);
    for (int i = 0; i < c.queued; ++i) ASSERT_TRUE(rig.Play(i));
    for (int i = 0; i < c.held; ++i) ASSERT_TRUE(rig.wave.blockPermits->TryAcquire());
    CloseWaveOutput(rig.wave);
    EXPECT_EQ(rig.completions, c.queued) << what;
    EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits) << what;
    EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks) << what;
    // A second close gives nothing more.
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(rig.soundFree.TryAcquire());
    ASSERT_TRUE(rig.wave.blockPermits->TryAcquire());
    CloseWaveOutput(rig.wave);
    EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits - 40) << what;
    EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks - 1) << what;
  }
}

// No completion ever comes for a block the device did not take, so
// PlayBlock itself gives the permit and the slot back. Without that the
// audio thread would block on its fourth block and the decode thread on
// its fiftieth.
TEST(WaveOutput, ABlockThatCannotBePlayedGivesItsPermitAndSoundSlotBack) {
  const struct {
    const char* what;
    bool prepare;
    std::function<bool(SoundRig&)> open;
    int header;
  } cases[] = {
      {"no device opens", true, [](SoundRig& r) { return r.Open(std::make_shared<ScriptedDevice>(false, true)); }, 0},
      {"the device refuses the block", true,
       [](SoundRig& r) { return r.Open(std::make_shared<ScriptedDevice>(true, false)); }, 0},
      {"an unknown device kind", true, [](SoundRig& r) { return r.Open("speaker"); }, 0},
      {"closed by the window", true, [](SoundRig& r) { return r.Open("null") && CloseWaveOutput(r.wave); }, 0},
      {"header index 50", true, [](SoundRig& r) { return r.Open("null"); }, 50},
      {"header index -1", true, [](SoundRig& r) { return r.Open("null"); }, -1},
      {"buffers never prepared", false, [](SoundRig& r) { return r.Open("null"); }, 0},
  };
  for (const auto& c : cases) {
    SoundRig rig(kSoundRingPermits, c.prepare);
    c.open(rig);
    // Turns a stall into a failure below instead of a hang.
    std::thread guard([&] {
      if (!WaitUntil([&] { return rig.abort.IsSet(); }, milliseconds(3000))) rig.abort.Set();
    });
    int refused = 0;
    for (int i = 0; i < 120 && !rig.abort.IsSet(); ++i) {
      // The decode thread takes a slot for each block it decodes.
      if (!rig.soundFree.TryAcquire()) break;
      if (!PlayBlock(rig.wave, c.header, rig.ring.data(), kWaveBlockBytes)) ++refused;
    }
    rig.abort.Set();
    guard.join();
    EXPECT_EQ(refused, 120) << c.what;
    EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits) << c.what;
    EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks) << c.what;
    EXPECT_EQ(rig.completions, 0) << c.what;
  }
}

TEST(WaveOutput, ClosingFromTheWindowWakesTheAudioThreadWaitingForAPermit) {
  SoundRig rig(kSoundRingPermits - 4);
  ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>()));
  PauseWaveOutput(rig.wave);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(rig.Play(i));
  Watchdog watchdog("the audio thread after a close");
  AudioThreadCall waiting(rig, 3);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_FALSE(waiting.returned());
  CloseWaveOutput(rig.wave);
  // It got a permit, found the device closed and gave everything back.
  EXPECT_FALSE(waiting.Join());
  EXPECT_EQ(rig.completions, 3);
  EXPECT_EQ(rig.soundFree.Count(), kSoundRingPermits);
  EXPECT_EQ(rig.permits(), kAudioDeviceQueueBlocks);
}

// The end of sound: the last completion sets the abort event, the audio
// thread leaves PlayBlock and closes the device while the completion may
// still be running, and the window pauses, restarts and resets meanwhile.
TEST(WaveOutput, NoDeadlockWhenTheLastCompletionAbortsWhileBlocksAreQueued) {
  for (int run = 0; run < 5; ++run) {
    SoundRig rig;
    rig.onCompletion = [&rig](int count) {
      if (count == 6) rig.abort.Set();
    };
    ASSERT_TRUE(rig.Open(std::make_shared<SilentAudioDevice>()));
    Watchdog watchdog("the audio thread at the end of sound");
    std::atomic<bool> audioEnded{false};
    std::thread audio([&] {
      for (int slot = 0;; ++slot) {
        if (!rig.soundFree.TryAcquire()) continue;
        if (!rig.Play(slot, 16) && rig.abort.IsSet()) break;  // 1 ms blocks
      }
      CloseWaveOutput(rig.wave);
      audioEnded = true;
    });
    while (!audioEnded) {
      PauseWaveOutput(rig.wave);
      RestartWaveOutput(rig.wave);
      ResetWaveOutput(rig.wave);
      std::this_thread::yield();
    }
    audio.join();
    const int completions = rig.completions;
    EXPECT_GE(completions, 6);
    // Closed: nothing completes any more.
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(rig.completions, completions);
  }
}

TEST(WaveOutput, ReopeningWithTheSameKindKeepsOneWavFileOfEverySession) {
  test::TempDir dir;
  const std::string path = dir.File("all.wav");
  const std::string kind = "wav:" + path;
  SoundRig rig;
  std::vector<int16_t> expected;
  int played = 0;
  for (const int blocks : {2, 1}) {
    ASSERT_TRUE(rig.Open(kind));
    for (int i = 0; i < blocks; ++i, ++played) {
      ASSERT_TRUE(rig.soundFree.TryAcquire());
      ASSERT_TRUE(rig.Play(played, 160));  // 10 ms
      const std::vector<int16_t> block = TestBlock(played, 80);
      expected.insert(expected.end(), block.begin(), block.end());
    }
    ASSERT_TRUE(WaitUntil([&] { return rig.completions == played; }));
    CloseWaveOutput(rig.wave);
  }
  std::string error;
  ASSERT_TRUE(ReleaseWaveBuffers(rig.wave, &error)) << error;
  EXPECT_EQ(test::WavSamples(test::ReadBytes(path)), expected);
}

TEST(WaveOutput, ReleaseReportsAWavFileThatCannotBeWritten) {
  test::TempDir dir;
  const std::string path = dir.File("taken.wav");
  test::WriteBytes(path, {9, 9});
  SoundRig rig;
  ASSERT_TRUE(rig.Open("wav:" + path));
  ASSERT_TRUE(rig.Play(0, 16));
  ASSERT_TRUE(WaitUntil([&] { return rig.completions == 1; }));
  std::string error;
  EXPECT_FALSE(ReleaseWaveBuffers(rig.wave, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadBytes(path), (std::vector<uint8_t>{9, 9}));
}

}  // namespace
}  // namespace tsv
