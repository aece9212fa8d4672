#include "media/mpeg4/OutputConversion.h"

#include <cstring>

namespace tsv {

namespace {

// Colour coefficients with 13 fractional bits.
constexpr int kRv = 9339;    // 1.140
constexpr int kGu = -3228;   // -0.394
constexpr int kGv = -4760;   // -0.581
constexpr int kBu = 16646;   // 2.032
// Combing threshold of the de-interlace measure.
constexpr int kCombThreshold = 73;

inline uint8_t Clamp255(int x) { return static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x)); }

}  // namespace

void DeinterlaceLuma(const YuvPlanes& p, uint8_t* luma) {
  const int w = p.width, h = p.height;
  for (int r = 0; r < h; r += 2) std::memcpy(luma + static_cast<std::ptrdiff_t>(r) * w, p.y + r * p.yStride, w);
  for (int i = 0; i < h / 2 - 1; ++i) {
    const uint8_t* A = p.y + (2 * i) * p.yStride;
    const uint8_t* B = p.y + (2 * i + 1) * p.yStride;
    const uint8_t* C = p.y + (2 * i + 2) * p.yStride;
    uint8_t* out = luma + static_cast<std::ptrdiff_t>(2 * i + 1) * w;
    for (int x = 0; x < w; ++x) {
      const int a = A[x] >> 1, b = B[x] >> 1, c = C[x] >> 1;
      const int m = (a - b) * (c - b) - 625 * (((a - c) * (a - c)) >> 12);
      out[x] = m > kCombThreshold ? static_cast<uint8_t>(a + c) : B[x];
    }
  }
  if (h >= 2) std::memcpy(luma + static_cast<std::ptrdiff_t>(h - 1) * w, p.y + (h - 1) * p.yStride, w);
}

void ConvertToBgrBottomUp(const YuvPlanes& p, const uint8_t* luma, uint8_t* out, std::size_t outRowBytes) {
  const int w = p.width, h = p.height;
  for (int row = 0; row < h; row += 2) {
    const uint8_t* y0 = luma + static_cast<std::ptrdiff_t>(row) * w;
    const uint8_t* y1 = y0 + w;
    const uint8_t* u = p.u + (row / 2) * p.uStride;
    const uint8_t* v = p.v + (row / 2) * p.vStride;
    uint8_t* o0 = out + static_cast<std::size_t>(h - 1 - row) * outRowBytes;
    uint8_t* o1 = row + 1 < h ? out + static_cast<std::size_t>(h - 2 - row) * outRowBytes : nullptr;
    for (int x = 0; x < w; x += 2) {
      const int du = u[x / 2] - 128, dv = v[x / 2] - 128;
      const int rd = (kRv * dv) >> 13;
      const int gd = (kGu * du + kGv * dv) >> 13;
      const int bd = (kBu * du) >> 13;
      for (int k = 0; k < 2 && x + k < w; ++k) {
        const int Y0 = y0[x + k];
        uint8_t* d0 = o0 + 3 * (x + k);
        d0[0] = Clamp255(Y0 + bd);
        d0[1] = Clamp255(Y0 + gd);
        d0[2] = Clamp255(Y0 + rd);
        if (o1) {
          const int Y1 = y1[x + k];
          uint8_t* d1 = o1 + 3 * (x + k);
          d1[0] = Clamp255(Y1 + bd);
          d1[1] = Clamp255(Y1 + gd);
          d1[2] = Clamp255(Y1 + rd);
        }
      }
    }
  }
}

void ConvertOutput1(const YuvPlanes& planes, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes) {
  DeinterlaceLuma(planes, scratch);
  ConvertToBgrBottomUp(planes, scratch, out, outRowBytes);
}

}  // namespace tsv
