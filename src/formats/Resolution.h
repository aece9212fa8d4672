// Resolution codes 0..13: their labels, the picture sizes the MPEG-4 path
// decodes at, and the picture sizes of ".vse" streams that map to them.
#pragma once

#include <cstdint>
#include <optional>

namespace tsv {

constexpr uint8_t kResolutionCodeCount = 14;

struct PictureSize {
  uint16_t width = 0;
  uint16_t height = 0;
  bool operator==(const PictureSize&) const = default;
};

// "352 x 240" ... "720 x 288"; nullptr outside 0..13.
const char* ResolutionLabel(uint8_t code);

// The decode size of a ".vs4" resolution code (codes 6..9 have none).
std::optional<PictureSize> VsxDecodeSize(uint8_t code);

// The size the picture is shown at: the decode size, or for the field
// codes 11 and 13 the line-doubled size; the label size for codes 6..9.
std::optional<PictureSize> DisplaySize(uint8_t code);

// The code of a ".vse" picture size as the reader maps frame headers:
// 640x228 -> 6, 320x228 -> 7, 640x276 -> 8, 320x276 -> 9, 352x240 -> 0,
// 352x288 -> 2, 704x480 -> 1, 704x576 -> 3. With fullFieldSizes the shown
// sizes 640x456 and 640x552 map to 6 and 8 as well.
std::optional<uint8_t> QrvCodeForSize(uint16_t width, uint16_t height, bool fullFieldSizes);

// The code a converted stream's picture size gets in a ".vs4" header.
std::optional<uint8_t> VsxCodeForSize(uint16_t width, uint16_t height);

}  // namespace tsv
