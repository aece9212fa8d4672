// Helpers for the sound tests: a recorder of device callbacks, a bounded
// wait, and a watchdog that turns a deadlock into a failure.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/AudioDevice.h"

namespace tsv::test {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough for any wait in these tests on a loaded machine; a wait
// that runs out is a hang.
constexpr milliseconds kPatience{5000};

// Polls until `done` holds; false when the patience ran out.
inline bool WaitUntil(const std::function<bool()>& done, milliseconds patience = kPatience) {
  const auto end = SteadyClock::now() + patience;
  while (!done()) {
    if (SteadyClock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

// Records a device's callbacks: "d" per block done, "c" per close, with
// the time of each block done.
class CallbackRecorder {
 public:
  AudioDevice::Callbacks Callbacks() {
    return {[this] { Note('d'); }, [this] { Note('c'); }};
  }
  std::string events() const {
    std::lock_guard lock(lock_);
    return events_;
  }
  int done() const {
    std::lock_guard lock(lock_);
    return static_cast<int>(doneTimes_.size());
  }
  std::vector<SteadyClock::time_point> doneTimes() const {
    std::lock_guard lock(lock_);
    return doneTimes_;
  }
  bool WaitDone(int count) {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, kPatience, [&] { return static_cast<int>(doneTimes_.size()) >= count; });
  }

 private:
  void Note(char what) {
    {
      std::lock_guard lock(lock_);
      events_ += what;
      if (what == 'd') doneTimes_.push_back(SteadyClock::now());
    }
    changed_.notify_all();
  }

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::string events_;
  std::vector<SteadyClock::time_point> doneTimes_;
};

// Ends the test program when it is not disarmed in time: a deadlock must
// fail, not hang the run.
class Watchdog {
 public:
  explicit Watchdog(const char* what, milliseconds limit = milliseconds(10000))
      : thread_([this, what, limit] {
          std::unique_lock lock(lock_);
          if (!changed_.wait_for(lock, limit, [this] { return disarmed_; })) {
            std::fprintf(stderr, "watchdog: %s did not finish (deadlock)\n", what);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(lock_);
      disarmed_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool disarmed_ = false;
  std::thread thread_;
};

// Distinct samples for block `block`: sample i is block * 1000 + i, so a
// block out of order or cut short shows.
inline std::vector<int16_t> TestBlock(int block, std::size_t samples) {
  std::vector<int16_t> out(samples);
  for (std::size_t i = 0; i < samples; ++i) out[i] = static_cast<int16_t>(block * 1000 + static_cast<int>(i % 1000));
  return out;
}

// Samples of a WAV file's data (after its 44-byte head).
inline std::vector<int16_t> WavSamples(const std::vector<uint8_t>& file) {
  std::vector<int16_t> out;
  for (std::size_t i = 44; i + 1 < file.size(); i += 2)
    out.push_back(static_cast<int16_t>(file[i] | (file[i + 1] << 8)));
  return out;
}

}  // namespace tsv::test
