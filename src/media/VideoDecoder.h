// The MPEG-4 decoder instance of a file, as the readers use it: created once
// per file with work areas for the largest picture (720 x 576), re-opened
// for each picture size, decoding one picture at a time into a picture
// slot (packed blue-green-red, bottom row first).
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/VideoDecoderSlot.h"
#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv {

constexpr uint16_t kMpeg4MaxWidth = 720;
constexpr uint16_t kMpeg4MaxHeight = 576;
constexpr std::size_t kMpeg4OutputSize = 1244160;  // 720 x 576 x 3

struct Mpeg4DecoderHandle {
  Mpeg4DecoderParams params;
  uint32_t allocatedSizes[kMpeg4WorkAreaCount] = {};
  std::unique_ptr<uint8_t[]> areas[kMpeg4WorkAreaCount];
  Mpeg4DecodeInput input;
  uint32_t decodedCount = 0;
  uint16_t width = 0;  // current configuration
  uint16_t height = 0;
  bool narrow = false;  // width other than 720
  bool open = false;
};

// Creates the slot's decoder when it has none. False when memory or the
// decoder cannot be had.
bool CreateMpeg4Decoder(VideoDecoderSlot& slot);

// Configures the decoder for a picture size and reference rule; decoding
// restarts at the next key picture. False for a size above 720 x 576 or
// when the decoder cannot be set up (it then decodes nothing).
bool ReopenMpeg4Decoder(VideoDecoderSlot& slot, uint16_t width, uint16_t height, uint32_t predictedStreamMode);

// Decodes one picture of the configured size into `picture` (capacity
// bytes). The constant `one` and the picture type are carried through for
// the caller and not used.
bool DecodeMpeg4Picture(VideoDecoderSlot& slot, const uint8_t* payload, std::size_t length, uint32_t one,
                        uint32_t pictureType, uint16_t width, uint16_t height, uint8_t* picture,
                        std::size_t capacity);

void DestroyMpeg4Decoder(VideoDecoderSlot& slot);

}  // namespace tsv
