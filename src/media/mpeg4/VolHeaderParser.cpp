// Picture size from a video object layer header (ISO/IEC 14496-2 visual
// syntax, read as far as video_object_layer_height).
#include <algorithm>

#include "media/mpeg4/BitReader.h"
#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv {

namespace {

// Bytes of the stream searched for the header; the whole header, start
// code to the marker after the height, must lie inside them.
constexpr std::size_t kHeaderWindow = 256;

// video_object_layer_start_code is 00 00 01 followed by 0x20..0x2F.
constexpr uint8_t kVolStartCodeFirst = 0x20;
constexpr uint8_t kVolStartCodeMask = 0xF0;
constexpr std::size_t kStartCodeBytes = 4;

// aspect_ratio_info value announcing an explicit pixel aspect ratio.
constexpr uint32_t kExtendedPar = 15;

// video_object_layer_shape values.
constexpr uint32_t kShapeRectangular = 0;
constexpr uint32_t kShapeGrayscale = 3;

// Offset of the first video object layer start code inside data[0, end), or
// end when there is none.
std::size_t FindVolStartCode(const uint8_t* data, std::size_t end) {
  for (std::size_t i = 0; i + kStartCodeBytes <= end; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 &&
        (data[i + 3] & kVolStartCodeMask) == kVolStartCodeFirst) {
      return i;
    }
  }
  return end;
}

// Bits that code vop_time_increment values 0 .. resolution-1 (at least one).
int TimeIncrementBits(uint32_t resolution) {
  int bits = 1;
  while (bits < 32 && ((resolution - 1) >> bits) != 0) {
    ++bits;
  }
  return bits;
}

// Parses the header bits that follow the start code. False on a missing
// marker bit, a shape other than rectangular, a zero time resolution or
// size, or too few bits.
bool ParseVolBody(BitReader& bits, uint32_t* width, uint32_t* height) {
  bits.Read(1);  // random_accessible_vol
  bits.Read(8);  // video_object_type_indication
  uint32_t verid = 1;
  if (bits.Read(1) != 0) {  // is_object_layer_identifier
    verid = bits.Read(4);   // video_object_layer_verid
    bits.Read(3);           // video_object_layer_priority
  }
  if (bits.Read(4) == kExtendedPar) {  // aspect_ratio_info
    bits.Read(8);                      // par_width
    bits.Read(8);                      // par_height
  }
  if (bits.Read(1) != 0) {  // vol_control_parameters
    bits.Read(2);           // chroma_format
    bits.Read(1);           // low_delay
    if (bits.Read(1) != 0) {  // vbv_parameters
      bits.Read(15);          // first_half_bit_rate
      if (bits.ReadBit() != 1) return false;
      bits.Read(15);  // latter_half_bit_rate
      if (bits.ReadBit() != 1) return false;
      bits.Read(15);  // first_half_vbv_buffer_size
      if (bits.ReadBit() != 1) return false;
      bits.Read(3);   // latter_half_vbv_buffer_size
      bits.Read(11);  // first_half_vbv_occupancy
      if (bits.ReadBit() != 1) return false;
      bits.Read(15);  // latter_half_vbv_occupancy
      if (bits.ReadBit() != 1) return false;
    }
  }
  const uint32_t shape = bits.Read(2);  // video_object_layer_shape
  if (shape == kShapeGrayscale && verid != 1) {
    bits.Read(4);  // video_object_layer_shape_extension
  }
  if (bits.ReadBit() != 1) return false;
  const uint32_t resolution = bits.Read(16);  // vop_time_increment_resolution
  if (bits.ReadBit() != 1) return false;
  if (resolution == 0) return false;  // forbidden: there would be no clock
  if (bits.Read(1) != 0) {            // fixed_vop_rate
    bits.Read(TimeIncrementBits(resolution));  // fixed_vop_time_increment
  }
  if (shape != kShapeRectangular) return false;
  if (bits.ReadBit() != 1) return false;
  const uint32_t w = bits.Read(13);  // video_object_layer_width
  if (bits.ReadBit() != 1) return false;
  const uint32_t h = bits.Read(13);  // video_object_layer_height
  if (bits.ReadBit() != 1) return false;
  // A read past the end yields 0 bits, so the last marker has already
  // failed; the overrun is checked all the same before trusting the size.
  if (bits.Overrun() || w == 0 || h == 0) return false;
  *width = w;
  *height = h;
  return true;
}

}  // namespace

bool ParseVideoObjectLayerSize(const uint8_t* data, std::size_t length, uint32_t* width, uint32_t* height) {
  if (data == nullptr || width == nullptr || height == nullptr) return false;
  const std::size_t window = std::min(length, kHeaderWindow);
  const std::size_t start = FindVolStartCode(data, window);
  if (start == window) return false;
  const std::size_t body = start + kStartCodeBytes;
  BitReader bits(data + body, window - body);
  return ParseVolBody(bits, width, height);
}

}  // namespace tsv
