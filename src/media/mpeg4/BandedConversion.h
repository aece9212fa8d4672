// Output conversion 1 of one picture on two threads. The picture's rows
// are cut into strips of kBandStripRows (an even number) rows; the caller
// converts strips from the top down while a helper thread, kept for the
// life of the object, converts strips from the bottom up, until the two
// meet. Strips write disjoint bytes and read only the decoded planes, so
// the result is byte for byte that of ConvertOutput1 wherever they meet.
//
// Where they meet follows how fast each side gets on: when the helper
// thread wakes late (the other core busy) the caller simply takes more
// strips, and when the helper has not started by the time the caller has
// taken them all, the request is withdrawn and the caller does not wait
// for it at all.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "media/mpeg4/OutputConversion.h"

namespace tsv {

constexpr int kBandStripRows = 16;

class BandedConversion {
 public:
  // Starts the helper thread. Null when the object or the thread cannot be
  // had; the caller then converts on its own.
  static std::unique_ptr<BandedConversion> Start();

  // Stops the helper thread and waits for it to end.
  ~BandedConversion();

  BandedConversion(const BandedConversion&) = delete;
  BandedConversion& operator=(const BandedConversion&) = delete;

  // ConvertOutput1 shared with the helper thread; returns when every strip
  // is done and the helper no longer touches the picture or the buffers.
  // One caller at a time.
  void Convert(const YuvPlanes& planes, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes);

  // Pictures so far of which the helper converted at least one strip.
  uint64_t SharedPictures() const { return shared_.load(std::memory_order_relaxed); }

 private:
  BandedConversion() = default;
  void Run();
  // Takes the next strip from the top (the caller) or from the bottom (the
  // helper). False when none is left.
  bool Claim(bool fromBottom, int* strip);
  void ConvertStrip(int strip) const;

  // The helper's hand-over state.
  enum State : uint32_t {
    kIdle,     // no request, or the helper has finished the one it took
    kPosted,   // a picture waits; the helper may take it
    kTaken,    // the helper works on it; the caller must wait for kIdle
    kStopped,  // the helper is to end
  };
  std::atomic<uint32_t> state_{kIdle};

  // The picture of the request. Written by the caller before it posts,
  // read by the helper only after it has taken the request; the caller
  // changes it again only once the state is back at kIdle.
  YuvPlanes planes_;
  uint8_t* scratch_ = nullptr;
  uint8_t* out_ = nullptr;
  std::size_t outRowBytes_ = 0;
  int strips_ = 0;

  // Strips taken: the low 16 bits count those from the top, the high bits
  // those from the bottom. Each side adds one per claim; a claim holds
  // while the two counts before it sum to less than strips_, so every
  // strip goes to exactly one side.
  std::atomic<uint32_t> claims_{0};
  std::atomic<uint64_t> shared_{0};
  std::thread thread_;
};

}  // namespace tsv
