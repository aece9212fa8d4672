// The moving test picture of the synthesizer. Every picture shows a clock
// (the frame's date and time to the millisecond and its picture number in
// a small bitmap font), a vertical bar that sweeps across, a box that
// bounces and a background whose gradients drift, so a picture shown out of
// place, late or upside down is plain to see. The content is smooth apart
// from the clock, so MPEG-4 and JPEG at normal quality reproduce it well.
// Integer arithmetic only: the same picture on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsv {

// Planar 4:2:0: a full-size luma plane and two chroma planes of half width
// and half height (both even), rows top to bottom.
struct YuvPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y;
  std::vector<uint8_t> u;
  std::vector<uint8_t> v;
};

// Draws picture `pictureIndex` (0-based) at width x height (both even and
// at least 16) with the two clock lines printed in its top-left corner.
// The lines may hold digits, '-', ':', '.', '#' and spaces; anything else
// prints as a space.
void DrawTestPicture(int width, int height, uint32_t pictureIndex, const std::string& clockLine1,
                     const std::string& clockLine2, YuvPicture* out);

// The picture as packed blue-green-red, bottom row first, converted the
// way the player converts decoded pictures (fixed-point 9339, -4760,
// -3228, 16646 over 8192, clamped to 0..255).
std::vector<uint8_t> ToBgrBottomUp(const YuvPicture& picture);

}  // namespace tsv
