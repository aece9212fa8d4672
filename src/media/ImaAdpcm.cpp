#include "media/ImaAdpcm.h"

#include <algorithm>
#include <cstdlib>

namespace tsv {

namespace {

constexpr int kStepCount = 89;
constexpr int kMaxStepIndex = kStepCount - 1;

constexpr int32_t kStepTable[kStepCount] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

}  // namespace

int16_t DecodeAdpcmSample(int code, AdpcmDecoderState& state) {
  if (code < 0 || code > 15) return 0;
  const int index = std::clamp<int32_t>(state.stepIndex, 0, kMaxStepIndex);
  const int32_t step = kStepTable[index];
  state.stepIndex = std::clamp(index + kIndexTable[code], 0, kMaxStepIndex);
  const int32_t magnitude = code & 7;
  const int32_t difference = (2 * magnitude + 1) * step / 8;
  // 64-bit sum: a seed predictor taken from a file may be any 32-bit value.
  const int64_t sum = static_cast<int64_t>(state.predictor) + ((code & 8) ? -difference : difference);
  state.predictor = static_cast<int32_t>(std::clamp<int64_t>(sum, -32768, 32767));
  return static_cast<int16_t>(state.predictor);
}

int DecodeAdpcmBlock(AdpcmDecoderState& state, int byteCount, const uint8_t* src, int16_t* dst,
                     uint32_t stepIndex, uint32_t predictor) {
  state.stepIndex = static_cast<int32_t>(stepIndex);
  state.predictor = static_cast<int32_t>(predictor);
  for (int i = 0; i < byteCount; ++i) {
    *dst++ = DecodeAdpcmSample(src[i] & 0x0F, state);
    *dst++ = DecodeAdpcmSample(src[i] >> 4, state);
  }
  return 0;
}

namespace {

// The code whose decoded sample lies closest to `target`; `state` advances
// as the decoder's will.
int EncodeAdpcmSample(int32_t target, AdpcmDecoderState& state) {
  int bestCode = 0;
  int64_t bestError = -1;
  AdpcmDecoderState bestState = state;
  for (int code = 0; code < 16; ++code) {
    AdpcmDecoderState trial = state;
    const int64_t error = std::llabs(static_cast<int64_t>(DecodeAdpcmSample(code, trial)) - target);
    if (bestError < 0 || error < bestError) {
      bestError = error;
      bestCode = code;
      bestState = trial;
    }
  }
  state = bestState;
  return bestCode;
}

}  // namespace

void EncodeAdpcmBlock(AdpcmDecoderState& state, const int16_t* pcm, std::size_t sampleCount, uint8_t* out) {
  for (std::size_t i = 0; i < sampleCount; i += 2) {
    const int low = EncodeAdpcmSample(pcm[i], state);
    const int16_t next = i + 1 < sampleCount ? pcm[i + 1] : pcm[i];
    const int high = EncodeAdpcmSample(next, state);
    out[i / 2] = static_cast<uint8_t>(low | (high << 4));
  }
}

std::size_t AdpcmBytesOfSoundFrame(std::size_t payloadSize) {
  if (payloadSize <= kSoundFrameHeadSize) return 0;
  return std::min(payloadSize - kSoundFrameHeadSize, kMaxAdpcmBytesPerFrame);
}

}  // namespace tsv
