// The picture decoder of one open file: which decoder the stream needs
// and, for MPEG-4, the decoder instance with its work areas.
#pragma once

#include <cstdint>
#include <memory>

namespace tsv {

constexpr uint32_t kDecoderJpeg = 0;
constexpr uint32_t kDecoderMpeg4 = 4;

struct Mpeg4DecoderHandle;
void DestroyMpeg4DecoderHandle(Mpeg4DecoderHandle* handle);
struct Mpeg4DecoderHandleDeleter {
  void operator()(Mpeg4DecoderHandle* handle) const { DestroyMpeg4DecoderHandle(handle); }
};

// Written by the reader's open step and by the decode thread on a change
// of picture size; read by the engine to pick its thread variants.
struct VideoDecoderSlot {
  uint32_t kind = kDecoderJpeg;  // only the low byte is tested
  // The MPEG-4 configuration the open step chose (also kept when no
  // decoder instance exists, as in the command-line tool's info).
  uint16_t width = 720;
  uint16_t height = 576;
  uint32_t predictedStreamMode = 1;
  std::unique_ptr<Mpeg4DecoderHandle, Mpeg4DecoderHandleDeleter> mpeg4;
};

}  // namespace tsv
