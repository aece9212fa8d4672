// The silent device: plays nothing but consumes each block at the real
// rate (an 8192-byte block lasts 512 ms), so the sound clock that paces
// the pictures runs as it would with a sound card. Used when no sound
// device opens, and in CI. Pause stops its clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/AudioDevice.h"
#include "platform/BlockDoneNotifier.h"
#include "platform/SoundBlockQueue.h"

namespace tsv {

class SilentAudioDevice : public AudioDevice {
 public:
  enum class Pace {
    RealRate,  // 8000 samples per second
    Instant,   // a block is done as soon as it is reached (still in order, still held by Pause)
  };

  explicit SilentAudioDevice(Pace pace = Pace::RealRate);
  ~SilentAudioDevice() override;

  bool Open(Callbacks callbacks) override;
  bool Write(const int16_t* samples, std::size_t count) override;
  void Pause() override;
  void Restart() override;
  void Reset() override;
  void Close() override;

 protected:
  // A block has played to its end (not called for discarded blocks). Runs
  // on the clock thread under the device's lock: keep it short, call no
  // device method.
  virtual void BlockPlayed(const std::vector<int16_t>& samples) { (void)samples; }

 private:
  using Clock = std::chrono::steady_clock;

  void ClockThread();

  const Pace pace_;

  // Guarded by lock_: written by the callers' threads and the clock thread.
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
  bool closing_ = false;
  bool paused_ = false;
  SoundBlockQueue queue_;
  // The head block has played for headPlayed_ before headSince_, and plays
  // on from headSince_ while not paused.
  Clock::duration headPlayed_{};
  Clock::time_point headSince_{};

  // Serialises Open and Close (the clock thread is started and joined
  // outside lock_).
  std::mutex sessionLock_;
  std::thread clock_;
  BlockDoneNotifier notifier_;
};

}  // namespace tsv
