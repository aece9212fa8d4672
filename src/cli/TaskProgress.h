// Waiting for a worker task of the command-line tool: a progress bar on
// stderr (when it is a terminal), and Ctrl-C turned into a stop request
// instead of ending the process, so the task can clean up after itself.
#pragma once

#include <atomic>

#include "formats/StreamConversion.h"

namespace tsv::cli {

class TaskProgress {
 public:
  // Installs the Ctrl-C handler until destruction.
  explicit TaskProgress(const char* label);
  ~TaskProgress();
  TaskProgress(const TaskProgress&) = delete;
  TaskProgress& operator=(const TaskProgress&) = delete;

  // The callback for the task: called on the worker thread.
  ProgressFn Callback();

  // Draws the bar until the task has finished; on Ctrl-C asks it to stop.
  // Returns whether Ctrl-C was pressed.
  bool WaitFor(StreamConversion& task);

  // For callers with a waiting loop of their own: whether Ctrl-C was
  // pressed, the bar at a percent, and the end of the bar's line.
  static bool Interrupted();
  void Draw(int percent);
  void EndLine();

 private:

  const char* label_;
  bool terminal_;
  int drawn_ = -1;
  // Written by the worker thread, read by the waiting thread.
  std::atomic<int> percent_{0};
};

}  // namespace tsv::cli
