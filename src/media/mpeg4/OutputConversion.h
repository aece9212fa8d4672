// Output conversion 1: a decoded 4:2:0 picture to packed blue-green-red,
// bottom row first, with the luma plane de-interlaced on the way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsv {

struct YuvPlanes {
  const uint8_t* y = nullptr;
  const uint8_t* u = nullptr;
  const uint8_t* v = nullptr;
  std::ptrdiff_t yStride = 0;
  std::ptrdiff_t uStride = 0;
  std::ptrdiff_t vStride = 0;
  int width = 0;   // even
  int height = 0;  // even
};

// De-interlaced copy of the luma plane into `luma` (width x height bytes):
// even rows are copied; odd row 2i+1 between rows A = 2i and C = 2i+2
// becomes (A >> 1) + (C >> 1) where the filter finds combing, that is where
// with a = A >> 1, b = B >> 1, c = C >> 1 the measure
// (a - b)(c - b) - 625 ((a - c)^2 >> 12) exceeds 73. The last odd row is
// copied unchanged.
void DeinterlaceLuma(const YuvPlanes& planes, uint8_t* luma);

// The fixed-point colour conversion (13 fractional bits) of one picture
// from a luma plane of `width` bytes per row and the planes' chroma, each
// chroma sample serving 2 x 2 luma samples, clamped to 0..255. Output row
// 0 is picture row height - 1; rows are outRowBytes apart.
void ConvertToBgrBottomUp(const YuvPlanes& planes, const uint8_t* luma, uint8_t* out, std::size_t outRowBytes);

// Both steps; `scratch` holds width x height bytes.
void ConvertOutput1(const YuvPlanes& planes, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes);

// ConvertOutput1 for the picture rows [firstRow, endRow) only, in whole
// row pairs: a bound that is odd is taken as the next even row, and the
// range ends at the picture's last row. The rows written, in `out` and in
// `scratch`, are those of the range; the rows read are those of the range
// and, for the de-interlace of its last odd row, the picture row after it.
// Ranges that meet at an even row therefore touch disjoint bytes and may
// be converted at the same time, together giving ConvertOutput1's result.
void ConvertOutput1Rows(const YuvPlanes& planes, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes,
                        int firstRow, int endRow);

}  // namespace tsv
