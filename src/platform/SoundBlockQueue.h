// The blocks an audio device holds: a ring of kAudioDeviceQueueBlocks
// buffers allocated once, filled by Push and played out by Fill (or taken
// whole by Front and Pop). Fill converts 8000 samples per second to the
// output's rate by linear interpolation within a block. Not thread-safe:
// the device guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/AudioDevice.h"

namespace tsv {

class SoundBlockQueue {
 public:
  SoundBlockQueue();

  // Output frames per second for Fill.
  void SetOutputRate(double rate) { step_ = kAudioDeviceRate / rate; }
  // False when full.
  bool Push(const int16_t* samples, std::size_t count);
  // Drops every block; returns how many there were.
  uint32_t Clear();
  int queued() const { return queued_; }
  bool empty() const { return queued_ == 0; }
  const std::vector<int16_t>& Front() const { return blocks_[head_]; }
  void Pop();

  // Writes `frames` output frames of `channels` equal values each: the
  // queued sound from where the last call stopped, then silence when it
  // runs out. Returns how many blocks were played to their end (an empty
  // block counts as soon as it is reached).
  uint32_t Fill(int16_t* out, std::size_t frames, int channels);

 private:
  // Pops the blocks that position_ has passed; returns how many.
  uint32_t PopPlayed();

  std::vector<int16_t> blocks_[kAudioDeviceQueueBlocks];
  int head_ = 0;
  int queued_ = 0;
  double position_ = 0.0;  // input samples into the head block
  double step_ = 1.0;      // input samples per output frame
};

}  // namespace tsv
