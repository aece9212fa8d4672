#include "platform/BlockDoneNotifier.h"

#include <cerrno>

namespace tsv {

BlockDoneNotifier::BlockDoneNotifier() { ::sem_init(&wake_, 0, 0); }

BlockDoneNotifier::~BlockDoneNotifier() {
  Finish();
  ::sem_destroy(&wake_);
}

void BlockDoneNotifier::Start(AudioDevice::Callbacks callbacks) {
  callbacks_ = std::move(callbacks);
  finishing_.store(false);
  thread_ = std::thread(&BlockDoneNotifier::Run, this);
}

void BlockDoneNotifier::Post(uint32_t count) {
  if (count == 0) return;
  posted_.fetch_add(count, std::memory_order_release);
  ::sem_post(&wake_);
}

void BlockDoneNotifier::WaitDelivered() {
  const uint64_t target = posted_.load(std::memory_order_acquire);
  std::unique_lock lock(deliveredLock_);
  deliveredChanged_.wait(lock, [&] { return delivered_ >= target; });
}

void BlockDoneNotifier::Finish() {
  if (!thread_.joinable()) return;
  finishing_.store(true, std::memory_order_release);
  ::sem_post(&wake_);
  thread_.join();
  callbacks_ = {};
}

void BlockDoneNotifier::Run() {
  uint64_t delivered = 0;
  {
    std::lock_guard lock(deliveredLock_);
    delivered = delivered_;
  }
  for (;;) {
    while (::sem_wait(&wake_) != 0 && errno == EINTR) {
    }
    // Read the flag before the count: every post made before Finish began
    // is then seen below.
    const bool finishing = finishing_.load(std::memory_order_acquire);
    const uint64_t posted = posted_.load(std::memory_order_acquire);
    while (delivered < posted) {
      if (callbacks_.blockDone) callbacks_.blockDone();
      {
        std::lock_guard lock(deliveredLock_);
        delivered_ = ++delivered;
      }
      deliveredChanged_.notify_all();
    }
    if (finishing) break;
  }
  if (callbacks_.closed) callbacks_.closed();
}

}  // namespace tsv
