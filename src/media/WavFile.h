// WAV files of the recordings' sound: 16-bit PCM, mono, 8000 samples per
// second.
#pragma once

#include <cstdint>
#include <vector>

namespace tsv {

constexpr uint32_t kSoundSampleRate = 8000;

// A complete RIFF/WAVE file holding the samples.
std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples, uint32_t sampleRate = kSoundSampleRate);

}  // namespace tsv
