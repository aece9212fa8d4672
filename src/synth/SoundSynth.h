// The synthesizer's sound: 8000 samples per second, mono, a quiet 440 Hz
// tone with a 1000 Hz beep over the first 100 ms of every second (counted
// from the first sound frame), cut into sound frames of 1024 samples
// (128 ms, 512 ADPCM bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/FrameInfo.h"
#include "media/ImaAdpcm.h"

namespace tsv {

constexpr uint32_t kSynthSoundRate = 8000;            // samples per second
constexpr std::size_t kSynthSoundFrameSamples = 1024;  // per sound frame
constexpr uint32_t kSynthSoundFrameMs = 128;           // 1024 samples at 8 kHz

// Sample n of the sound (n = 0 at the first sound frame).
int16_t SynthSoundSample(uint64_t n);

struct SynthSoundFrame {
  ImaAdpcmState state;        // decoder state at the frame's first code
  std::vector<uint8_t> adpcm;  // 512 bytes
};

// Encodes the sound frame by frame. A continuous encoder carries its state
// from frame to frame and reports it with each frame (".vs4" frames store
// it); otherwise every frame starts from step index 0 and predictor 0, the
// state a player assumes for a frame that stores none (".vse").
class SynthSoundEncoder {
 public:
  explicit SynthSoundEncoder(bool continuous) : continuous_(continuous) {}
  // Encodes frame `frameIndex`; frames must come in order from 0.
  void Next(uint32_t frameIndex, SynthSoundFrame* out);

 private:
  bool continuous_;
  AdpcmDecoderState state_;
  std::vector<int16_t> pcm_;
};

}  // namespace tsv
