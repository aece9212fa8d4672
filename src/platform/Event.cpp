#include "platform/Event.h"

namespace tsv {

Event::Event(bool manualReset, bool initiallySet, SyncDomain* domain)
    : own_(domain ? nullptr : std::make_unique<SyncDomain>()),
      domain_(domain ? domain : own_.get()),
      manual_(manualReset),
      set_(initiallySet) {}

void Event::Set() {
  {
    std::lock_guard lock(domain_->mutex);
    set_ = true;
  }
  domain_->changed.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(domain_->mutex);
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(domain_->mutex);
  return set_;
}

bool Event::TakeLocked() {
  if (!set_) return false;
  if (!manual_) set_ = false;
  return true;
}

bool Event::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(domain_->mutex);
  if (!domain_->changed.wait_for(lock, timeout, [this] { return set_; })) return false;
  return TakeLocked();
}

void Event::Wait() {
  std::unique_lock lock(domain_->mutex);
  domain_->changed.wait(lock, [this] { return set_; });
  TakeLocked();
}

Semaphore::Semaphore(int initial, int maximum, SyncDomain& domain)
    : domain_(domain), count_(initial), maximum_(maximum) {}

bool Semaphore::Release(int count) {
  bool within = true;
  {
    std::lock_guard lock(domain_.mutex);
    count_ += count;
    if (count_ > maximum_) {
      count_ = maximum_;
      within = false;
    }
  }
  domain_.changed.notify_all();
  return within;
}

bool Semaphore::TryAcquire() {
  std::lock_guard lock(domain_.mutex);
  if (count_ == 0) return false;
  --count_;
  return true;
}

int Semaphore::Count() const {
  std::lock_guard lock(domain_.mutex);
  return count_;
}

bool WaitAbortOr(Event& abort, Semaphore& semaphore) {
  std::unique_lock lock(semaphore.domain_.mutex);
  semaphore.domain_.changed.wait(lock, [&] { return abort.set_ || semaphore.count_ > 0; });
  if (abort.set_) return false;
  --semaphore.count_;
  return true;
}

bool WaitAbortOr(Event& abort, Event& event) {
  std::unique_lock lock(event.domain_->mutex);
  event.domain_->changed.wait(lock, [&] { return abort.set_ || event.set_; });
  if (abort.set_) return false;
  event.TakeLocked();
  return true;
}

bool SleepUnlessAborted(Event& abort, std::chrono::milliseconds duration) {
  std::unique_lock lock(abort.domain_->mutex);
  return !abort.domain_->changed.wait_for(lock, duration, [&] { return abort.set_; });
}

}  // namespace tsv
