// IMA ADPCM at 8000 samples per second, mono: the sound of the recordings.
// Each byte holds two 4-bit codes, the low nibble first. The decoder uses
// the standard 89-entry step table (7..32767) and the exact difference
// (2m + 1) x step / 8; the encoder runs that very decoder on every code it
// picks, so encoder and decoder never drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsv {

// Bytes before the ADPCM data in a sound frame's payload: the packet head
// with the start code and time stamp.
constexpr std::size_t kSoundFrameHeadSize = 64;
// Bytes of 16-bit PCM in one block of the sound ring.
constexpr std::size_t kPcmBlockBytes = 8192;
// ADPCM bytes that decode into one PCM block (4 PCM bytes per ADPCM byte).
constexpr std::size_t kMaxAdpcmBytesPerFrame = kPcmBlockBytes / 4;

// Decoder state: the step index (used clamped to 0..88) and the predictor
// (the last sample).
struct AdpcmDecoderState {
  int32_t stepIndex = 0;
  int32_t predictor = 0;
  bool operator==(const AdpcmDecoderState&) const = default;
};

// Decodes one 4-bit code. A code outside 0..15 returns 0 and leaves the
// state unchanged.
int16_t DecodeAdpcmSample(int code, AdpcmDecoderState& state);

// Seeds the state with stepIndex and predictor (the two words stored with a
// sound frame; the predictor word is a signed value), then decodes
// byteCount bytes of src into 2 x byteCount samples at dst, low nibble
// first. A byteCount below 1 decodes nothing. Returns 0.
int DecodeAdpcmBlock(AdpcmDecoderState& state, int byteCount, const uint8_t* src, int16_t* dst,
                     uint32_t stepIndex, uint32_t predictor);

// Encodes sampleCount samples into (sampleCount + 1) / 2 bytes at out, low
// nibble first, continuing from `state` (which ends as the decoder's state
// after the last code written). Each code is the one whose decoded sample
// lies closest to the input. For an odd count the last high nibble repeats
// the last sample, so the decoder yields one sample more than was given.
void EncodeAdpcmBlock(AdpcmDecoderState& state, const int16_t* pcm, std::size_t sampleCount, uint8_t* out);

// Bytes of ADPCM data of a sound frame with the given payload size that the
// player decodes: the bytes after the head, cut to what fits one PCM block.
// A frame with more data is truncated rather than dropped, so its sound
// still plays up to the block's end.
std::size_t AdpcmBytesOfSoundFrame(std::size_t payloadSize);

}  // namespace tsv
