#include "media/PictureOps.h"

#include <cstddef>
#include <cstring>

namespace tsv {

void ExpandFieldLines(uint8_t* picture, uint16_t width, uint16_t height) {
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  // From the last row down: row r takes field row r / 2, which is never a
  // row already written.
  for (std::size_t r = height; r-- > 1;) std::memmove(picture + r * row, picture + (r / 2) * row, row);
}

void ResizePicture24(const uint8_t* in, uint16_t width, uint16_t height, uint8_t* out, uint16_t targetWidth,
                     uint16_t targetHeight) {
  if (width == 0 || height == 0 || targetWidth == 0 || targetHeight == 0) return;
  const std::size_t inRow = static_cast<std::size_t>(width) * 3;
  const std::size_t outRow = static_cast<std::size_t>(targetWidth) * 3;
  for (uint32_t y = 0; y < targetHeight; ++y) {
    const uint8_t* src = in + static_cast<std::size_t>(y) * height / targetHeight * inRow;
    uint8_t* dst = out + y * outRow;
    for (uint32_t x = 0; x < targetWidth; ++x) {
      const uint8_t* p = src + x * width / targetWidth * 3;
      dst[3 * x] = p[0];
      dst[3 * x + 1] = p[1];
      dst[3 * x + 2] = p[2];
    }
  }
}

}  // namespace tsv
