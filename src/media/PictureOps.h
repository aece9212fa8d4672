// Operations on packed 24-bit pictures (blue-green-red, bottom row first).
#pragma once

#include <cstdint>

namespace tsv {

// A field picture holds only the first height/2 rows of a width x height
// picture; repeats each of those rows so the picture fills all height rows.
void ExpandFieldLines(uint8_t* picture, uint16_t width, uint16_t height);

// Nearest-neighbour scaling from width x height into targetWidth x
// targetHeight (rows width x 3 and targetWidth x 3 bytes). Target pixel
// (x, y) takes source pixel (x * width / targetWidth, y * height /
// targetHeight), computed exactly in integers, so a factor of two repeats
// every pixel exactly twice. `out` must not overlap `in`.
void ResizePicture24(const uint8_t* in, uint16_t width, uint16_t height, uint8_t* out, uint16_t targetWidth,
                     uint16_t targetHeight);

}  // namespace tsv
