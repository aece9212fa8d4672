// The picture decoder of one open file: which decoder the stream needs and
// the configuration the MPEG-4 decoder was last set up with.
#pragma once

#include <cstdint>

namespace tsv {

constexpr uint32_t kDecoderJpeg = 0;
constexpr uint32_t kDecoderMpeg4 = 4;

// Written by the reader's open step and by the decode thread on a change
// of picture size; read by the engine to pick its thread variants.
struct VideoDecoderSlot {
  uint32_t kind = kDecoderJpeg;  // only the low byte is tested
  uint16_t width = 720;          // MPEG-4 configuration
  uint16_t height = 576;
  uint32_t predictedStreamMode = 1;
};

}  // namespace tsv
