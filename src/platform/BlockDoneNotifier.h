// The thread on which an audio device reports finished blocks. Whoever
// finishes blocks (a clock thread, a real-time sound callback, Reset)
// posts a count without blocking; the notifier's thread calls blockDone
// once per posted block, in order, and `closed` at the end.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/AudioDevice.h"

namespace tsv {

class BlockDoneNotifier {
 public:
  BlockDoneNotifier();
  ~BlockDoneNotifier();
  BlockDoneNotifier(const BlockDoneNotifier&) = delete;
  BlockDoneNotifier& operator=(const BlockDoneNotifier&) = delete;

  // Starts the thread for one device session. Not while running.
  void Start(AudioDevice::Callbacks callbacks);
  // Reports `count` more finished blocks. Never blocks and takes no lock:
  // safe inside a real-time sound callback.
  void Post(uint32_t count);
  // Returns once every block posted before the call has been reported.
  // Only while running, and not from the notifier's own thread.
  void WaitDelivered();
  // Reports what is left, calls `closed`, and joins the thread. Nothing
  // may be posted after it begins. Safe when not running.
  void Finish();

 private:
  void Run();

  // Posters and the notifier thread: lock-free counts of blocks.
  std::atomic<uint64_t> posted_{0};
  std::atomic<bool> finishing_{false};
  sem_t wake_;
  // Notifier thread writes, WaitDelivered reads, under deliveredLock_.
  std::mutex deliveredLock_;
  std::condition_variable deliveredChanged_;
  uint64_t delivered_ = 0;
  // Fixed while running; touched by Start and Finish only.
  AudioDevice::Callbacks callbacks_;
  std::thread thread_;
};

}  // namespace tsv
