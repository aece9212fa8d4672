#include "platform/SoundBlockQueue.h"

namespace tsv {

namespace {

// Largest block the engine writes: 8192 bytes of 16-bit samples.
constexpr std::size_t kUsualBlockSamples = 4096;

}  // namespace

SoundBlockQueue::SoundBlockQueue() {
  for (auto& block : blocks_) block.reserve(kUsualBlockSamples);
}

bool SoundBlockQueue::Push(const int16_t* samples, std::size_t count) {
  if (queued_ == kAudioDeviceQueueBlocks) return false;
  blocks_[(head_ + queued_) % kAudioDeviceQueueBlocks].assign(samples, samples + count);
  // After a gap the new block starts at its first sample.
  if (queued_++ == 0) position_ = 0.0;
  return true;
}

uint32_t SoundBlockQueue::Clear() {
  const auto dropped = static_cast<uint32_t>(queued_);
  head_ = 0;
  queued_ = 0;
  position_ = 0.0;
  return dropped;
}

void SoundBlockQueue::Pop() {
  if (queued_ == 0) return;
  head_ = (head_ + 1) % kAudioDeviceQueueBlocks;
  --queued_;
}

uint32_t SoundBlockQueue::PopPlayed() {
  uint32_t played = 0;
  while (queued_ > 0 && position_ >= static_cast<double>(Front().size())) {
    position_ -= static_cast<double>(Front().size());
    Pop();
    ++played;
  }
  return played;
}

uint32_t SoundBlockQueue::Fill(int16_t* out, std::size_t frames, int channels) {
  uint32_t played = PopPlayed();
  for (std::size_t f = 0; f < frames; ++f) {
    int16_t sample = 0;
    if (queued_ > 0) {
      const std::vector<int16_t>& block = Front();
      const auto index = static_cast<std::size_t>(position_);
      const double fraction = position_ - static_cast<double>(index);
      const int next = index + 1 < block.size() ? block[index + 1] : block[index];
      sample = static_cast<int16_t>(block[index] + fraction * (next - block[index]));
      position_ += step_;
      played += PopPlayed();
    }
    for (int c = 0; c < channels; ++c) out[f * channels + c] = sample;
  }
  return played;
}

}  // namespace tsv
