#include "synth/SoundSynth.h"

#include <cmath>
#include <numbers>

namespace tsv {

namespace {

constexpr double kToneHz = 440.0;
constexpr double kToneAmplitude = 4000.0;
constexpr double kBeepHz = 1000.0;
constexpr double kBeepAmplitude = 9000.0;
constexpr uint64_t kBeepSamples = kSynthSoundRate / 10;  // 100 ms

}  // namespace

int16_t SynthSoundSample(uint64_t n) {
  const double t = static_cast<double>(n) / kSynthSoundRate;
  double value = kToneAmplitude * std::sin(2 * std::numbers::pi * kToneHz * t);
  if (n % kSynthSoundRate < kBeepSamples) value += kBeepAmplitude * std::sin(2 * std::numbers::pi * kBeepHz * t);
  return static_cast<int16_t>(std::lround(value));
}

void SynthSoundEncoder::Next(uint32_t frameIndex, SynthSoundFrame* out) {
  if (!continuous_) state_ = AdpcmDecoderState{};
  pcm_.resize(kSynthSoundFrameSamples);
  const uint64_t first = static_cast<uint64_t>(frameIndex) * kSynthSoundFrameSamples;
  for (std::size_t i = 0; i < pcm_.size(); ++i) pcm_[i] = SynthSoundSample(first + i);
  out->state.stepIndex = static_cast<uint32_t>(state_.stepIndex);
  out->state.predictor = static_cast<uint32_t>(state_.predictor);
  out->adpcm.resize(kSynthSoundFrameSamples / 2);
  EncodeAdpcmBlock(state_, pcm_.data(), pcm_.size(), out->adpcm.data());
}

}  // namespace tsv
