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

}  // namespace tsv
