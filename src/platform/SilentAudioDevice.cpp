#include "platform/SilentAudioDevice.h"

#include <algorithm>

namespace tsv {

namespace {

std::chrono::steady_clock::duration PlayTime(std::size_t samples) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::nanoseconds(samples * 1'000'000'000ull / kAudioDeviceRate));
}

}  // namespace

SilentAudioDevice::SilentAudioDevice(Pace pace) : pace_(pace) {}

SilentAudioDevice::~SilentAudioDevice() { SilentAudioDevice::Close(); }

bool SilentAudioDevice::Open(Callbacks callbacks) {
  std::lock_guard session(sessionLock_);
  {
    std::lock_guard lock(lock_);
    if (open_) return false;
    open_ = true;
    closing_ = false;
    paused_ = false;
    queue_.Clear();
    headPlayed_ = {};
  }
  notifier_.Start(std::move(callbacks));
  clock_ = std::thread(&SilentAudioDevice::ClockThread, this);
  return true;
}

bool SilentAudioDevice::Write(const int16_t* samples, std::size_t count) {
  {
    std::lock_guard lock(lock_);
    if (!open_ || closing_) return false;
    const bool wasEmpty = queue_.empty();
    if (!queue_.Push(samples, count)) return false;
    if (wasEmpty) {
      headPlayed_ = {};
      headSince_ = Clock::now();
    }
  }
  changed_.notify_all();
  return true;
}

void SilentAudioDevice::Pause() {
  std::lock_guard lock(lock_);
  if (paused_) return;
  paused_ = true;
  if (!queue_.empty()) headPlayed_ += Clock::now() - headSince_;
}

void SilentAudioDevice::Restart() {
  {
    std::lock_guard lock(lock_);
    if (!paused_) return;
    paused_ = false;
    headSince_ = Clock::now();
  }
  changed_.notify_all();
}

void SilentAudioDevice::Reset() {
  {
    std::lock_guard lock(lock_);
    if (!open_) return;
    notifier_.Post(queue_.Clear());
    headPlayed_ = {};
  }
  changed_.notify_all();
  notifier_.WaitDelivered();
}

void SilentAudioDevice::Close() {
  std::lock_guard session(sessionLock_);
  {
    std::lock_guard lock(lock_);
    if (!open_) return;
    closing_ = true;
  }
  changed_.notify_all();
  clock_.join();
  {
    std::lock_guard lock(lock_);
    notifier_.Post(queue_.Clear());
    open_ = false;
  }
  notifier_.Finish();
}

void SilentAudioDevice::ClockThread() {
  std::unique_lock lock(lock_);
  while (!closing_) {
    if (queue_.empty() || paused_) {
      changed_.wait(lock);
      continue;
    }
    const std::vector<int16_t>& block = queue_.Front();
    const Clock::time_point end =
        pace_ == Pace::Instant ? headSince_
                               : headSince_ + std::max(PlayTime(block.size()) - headPlayed_, Clock::duration::zero());
    if (Clock::now() < end) {
      changed_.wait_until(lock, end);
      continue;
    }
    BlockPlayed(block);
    queue_.Pop();
    // The next block starts where this one ended, so the clock does not
    // drift by the thread's wake-up delays.
    headPlayed_ = {};
    headSince_ = end;
    notifier_.Post(1);
  }
}

}  // namespace tsv
