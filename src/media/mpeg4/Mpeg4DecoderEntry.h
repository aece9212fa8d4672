// The MPEG-4 Part 2 decoder behind one entry point with control codes.
// The caller owns all memory: a parameter record with six work areas sized
// by the size query, and a decode input record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsv {

// Control codes.
constexpr uint32_t kMpeg4DecodePicture = 0;      // decode one picture (any code not listed)
constexpr uint32_t kMpeg4SizeQuery = 0x4000;     // six work-area sizes for width x height
constexpr uint32_t kMpeg4Initialise = 0x8000;    // set up for width x height and a predicted-stream mode
constexpr uint32_t kMpeg4NoOp1 = 0x10000;        // no effect
constexpr uint32_t kMpeg4NoOp2 = 0x20000;        // no effect
constexpr uint32_t kMpeg4SelectOutput = 0x40000; // re-select the output converter
constexpr uint32_t kMpeg4HeaderQuery = 0x80000;  // picture size from a video object layer header

// Results.
constexpr uint32_t kMpeg4Ok = 0;
constexpr uint32_t kMpeg4Disabled = 2;
constexpr uint32_t kMpeg4Failed = 3;

constexpr int kMpeg4WorkAreaCount = 6;

// Parameter record. Work areas, in the order of the size list: two
// reference pictures, a scratch picture, the decoder context, a table area
// and the bit-stream reader state.
struct Mpeg4DecoderParams {
  uint32_t width = 720;
  uint32_t height = 576;
  uint32_t outputFormat = 1;
  uint32_t flag = 0;
  uint32_t workAreaSizes[kMpeg4WorkAreaCount] = {};
  uint8_t* workAreas[kMpeg4WorkAreaCount] = {};
};

// Decode input record.
struct Mpeg4DecodeInput {
  uint8_t* output = nullptr;      // packed blue-green-red picture, bottom row first
  const uint8_t* payload = nullptr;
  uint32_t length = 0;            // bytes at payload
  uint32_t one = 1;
  uint32_t rowWidth = 0;          // output row width in pixels
};

// Stream bytes for the header query. The length bounds every read: the
// header is looked for within the first 256 bytes or the given length,
// whichever is shorter.
struct Mpeg4StreamBytes {
  const uint8_t* data = nullptr;
  std::size_t length = 0;
};

// recordA / recordB by code:
//   kMpeg4SizeQuery:   Mpeg4DecoderParams* (width, height written) / uint32_t[6] out
//   kMpeg4HeaderQuery: const Mpeg4StreamBytes* / uint32_t* out ((width << 12) | height);
//                      fails for a width or height above kMpeg4MaxPackedDimension
//   kMpeg4Initialise:  Mpeg4DecoderParams* / unused; extra = predicted-stream mode
//   kMpeg4SelectOutput: Mpeg4DecoderParams* / unused
//   decode:            Mpeg4DecodeInput* / Mpeg4DecoderParams*
// enable 0 returns kMpeg4Disabled and does nothing.
uint32_t Mpeg4DecoderEntry(uint32_t enable, uint32_t code, void* recordA, void* recordB, uint16_t width,
                           uint16_t height, uint32_t extra);

// Largest width or height the header query reports: the packed result
// keeps 12 bits for each.
constexpr uint32_t kMpeg4MaxPackedDimension = 0xFFF;

// The six work-area sizes for a picture of width x height. False, with
// `sizes` untouched, when a size does not fit in 32 bits (only for widths
// and heights near 65535).
bool Mpeg4WorkAreaSizes(uint32_t width, uint32_t height, uint32_t sizes[kMpeg4WorkAreaCount]);

// Parses a rectangular video object layer header found within the first
// min(256, length) bytes. True with the picture size on success.
bool ParseVideoObjectLayerSize(const uint8_t* data, std::size_t length, uint32_t* width, uint32_t* height);

}  // namespace tsv
