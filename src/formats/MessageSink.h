// How the core reaches the user: a message the user must see (a box in the
// window, a line on stderr in the command-line tool) and a debugging note
// that is only logged. The front end supplies the sink.
#pragma once

#include <string_view>

namespace tsv {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A failure the user must see, with one OK to dismiss it.
  virtual void ShowMessage(std::string_view text) = 0;
  // The same with a title of its own (the window's box shows it).
  virtual void ShowTitledMessage(std::string_view /*title*/, std::string_view text) { ShowMessage(text); }
  // A note for developers (an operation a reader does not provide).
  virtual void Log(std::string_view text) = 0;
};

// Writes messages and notes to stderr, one line each; notes only when
// verbose.
class StderrMessageSink final : public MessageSink {
 public:
  explicit StderrMessageSink(bool verbose = false) : verbose_(verbose) {}
  void ShowMessage(std::string_view text) override;
  void Log(std::string_view text) override;

 private:
  bool verbose_;
};

// Discards everything (fuzzers, probing readers).
class NullMessageSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void Log(std::string_view) override {}
};

}  // namespace tsv
