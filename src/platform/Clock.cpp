#include "platform/Clock.h"

#include <chrono>

#include "platform/Event.h"

namespace tsv {

namespace {

class RealClock final : public Clock {
 public:
  uint64_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  bool Sleep(Event& abort, uint32_t ms) override {
    if (ms == 0) return !abort.IsSet();
    return SleepUnlessAborted(abort, std::chrono::milliseconds(ms));
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace tsv
