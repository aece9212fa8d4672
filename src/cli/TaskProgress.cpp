#include "cli/TaskProgress.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace tsv::cli {

namespace {

constexpr int kBarWidth = 40;                       // characters of the bar
constexpr auto kRedrawPeriod = std::chrono::milliseconds(50);

// Set by the signal handler: a lock-free atomic store is safe there.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction previousAction;

void OnInterrupt(int) { interrupted.store(true, std::memory_order_relaxed); }

}  // namespace

TaskProgress::TaskProgress(const char* label) : label_(label), terminal_(::isatty(STDERR_FILENO) == 1) {
  interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previousAction);
}

TaskProgress::~TaskProgress() { ::sigaction(SIGINT, &previousAction, nullptr); }

ProgressFn TaskProgress::Callback() {
  return [this](int percent) { percent_.store(percent, std::memory_order_relaxed); };
}

bool TaskProgress::WaitFor(StreamConversion& task) {
  bool stopAsked = false;
  while (!task.Finished()) {
    if (!stopAsked && interrupted.load(std::memory_order_relaxed)) {
      task.RequestStop();
      stopAsked = true;
    }
    Draw(percent_.load(std::memory_order_relaxed));
    std::this_thread::sleep_for(kRedrawPeriod);
  }
  task.Wait();
  Draw(percent_.load(std::memory_order_relaxed));
  EndLine();
  return stopAsked || Interrupted();
}

bool TaskProgress::Interrupted() { return interrupted.load(std::memory_order_relaxed); }

void TaskProgress::EndLine() {
  if (terminal_ && drawn_ >= 0) std::fputc('\n', stderr);
  drawn_ = -1;
}

void TaskProgress::Draw(int percent) {
  if (!terminal_ || percent == drawn_) return;
  drawn_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_, bar.c_str(), percent);
  std::fflush(stderr);
}

}  // namespace tsv::cli
