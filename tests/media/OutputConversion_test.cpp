// Output conversion 1 against a reference written straight from its rules:
// the de-interlace filter on the odd luma rows (either side of the
// threshold, the last odd row left alone), the fixed-point colour
// conversion with its clamps, bottom row first, rows as long as the caller
// says with the bytes beyond the picture untouched. Also the conversion of
// row ranges, and the two-thread conversion built on them, against the
// whole-picture conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "media/mpeg4/BandedConversion.h"
#include "media/mpeg4/OutputConversion.h"

namespace tsv {
namespace {

// 4:2:0 planes in buffers with odd strides; the bytes past each row hold
// noise that must never reach the output.
struct Planes {
  int width = 0;
  int height = 0;
  int yStride = 0;
  int cStride = 0;
  std::vector<uint8_t> y, u, v;

  Planes(int w, int h, uint32_t seed) : width(w), height(h), yStride(w + 5), cStride(w / 2 + 3) {
    std::mt19937 rng(seed);
    auto fill = [&](std::vector<uint8_t>& plane, std::size_t size) {
      plane.resize(size);
      for (uint8_t& b : plane) b = static_cast<uint8_t>(rng());
    };
    fill(y, static_cast<std::size_t>(yStride) * h);
    fill(u, static_cast<std::size_t>(cStride) * (h / 2));
    fill(v, static_cast<std::size_t>(cStride) * (h / 2));
  }

  uint8_t& Y(int x, int row) { return y[static_cast<std::size_t>(row) * yStride + x]; }
  uint8_t& U(int x, int row) { return u[static_cast<std::size_t>(row) * cStride + x]; }
  uint8_t& V(int x, int row) { return v[static_cast<std::size_t>(row) * cStride + x]; }

  YuvPlanes View() const {
    YuvPlanes p;
    p.y = y.data();
    p.u = u.data();
    p.v = v.data();
    p.yStride = yStride;
    p.uStride = cStride;
    p.vStride = cStride;
    p.width = width;
    p.height = height;
    return p;
  }
};

// The combing measure with a = A >> 1, b = B >> 1, c = C >> 1.
int64_t CombMeasure(int A, int B, int C) {
  const int64_t a = A >> 1, b = B >> 1, c = C >> 1;
  return (a - b) * (c - b) - 625 * (((a - c) * (a - c)) >> 12);
}

// The de-interlaced luma plane, width x height, rows top to bottom.
std::vector<uint8_t> ReferenceLuma(Planes& p) {
  std::vector<uint8_t> out(static_cast<std::size_t>(p.width) * p.height);
  for (int row = 0; row < p.height; ++row) {
    for (int x = 0; x < p.width; ++x) {
      uint8_t value = p.Y(x, row);
      const bool filtered = row % 2 == 1 && row < p.height - 1;
      if (filtered && CombMeasure(p.Y(x, row - 1), value, p.Y(x, row + 1)) > 73)
        value = static_cast<uint8_t>((p.Y(x, row - 1) >> 1) + (p.Y(x, row + 1) >> 1));
      out[static_cast<std::size_t>(row) * p.width + x] = value;
    }
  }
  return out;
}

uint8_t Clamp(int64_t x) { return static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x); }

// Y plus a 13-bit fixed-point term, rounded towards minus infinity.
uint8_t FixedPoint(int luma, int64_t scaled) {
  const int64_t whole = 8192 * luma + scaled;
  const int64_t floored = whole >= 0 ? whole / 8192 : -((-whole + 8191) / 8192);
  return Clamp(floored);
}

// Blue-green-red of one pixel.
struct Bgr {
  uint8_t b, g, r;
  bool operator==(const Bgr&) const = default;
};

Bgr ReferencePixel(int luma, int u, int v) {
  const int64_t du = u - 128, dv = v - 128;
  return {FixedPoint(luma, 16646 * du), FixedPoint(luma, -3228 * du - 4760 * dv), FixedPoint(luma, 9339 * dv)};
}

// The whole output: rowBytes per row, bottom row first, bytes beyond the
// picture in each row left at `fill`.
std::vector<uint8_t> ReferenceOutput(Planes& p, const std::vector<uint8_t>& luma, std::size_t rowBytes,
                                     uint8_t fill) {
  std::vector<uint8_t> out(rowBytes * p.height, fill);
  for (int row = 0; row < p.height; ++row) {
    uint8_t* o = out.data() + static_cast<std::size_t>(p.height - 1 - row) * rowBytes;
    for (int x = 0; x < p.width; ++x) {
      const Bgr px = ReferencePixel(luma[static_cast<std::size_t>(row) * p.width + x], p.U(x / 2, row / 2),
                                    p.V(x / 2, row / 2));
      o[3 * x] = px.b;
      o[3 * x + 1] = px.g;
      o[3 * x + 2] = px.r;
    }
  }
  return out;
}

std::vector<uint8_t> Deinterlaced(const Planes& p) {
  std::vector<uint8_t> luma(static_cast<std::size_t>(p.width) * p.height, 0xEE);
  DeinterlaceLuma(p.View(), luma.data());
  return luma;
}

TEST(OutputConversion, CombingThresholdBothSides) {
  // Sample triples (row above, the odd row, row below). The measure is
  // computed on halved samples; 73 itself is never reached (73 is prime
  // and 1 x 73 needs |a - c| = 72, where the 625 term applies), so the
  // closest values on either side are 72 and 74.
  struct Case {
    uint8_t A, B, C;
    int64_t measure;
    uint8_t expected;
  };
  const Case cases[] = {
      {0, 18, 2, 72, 18},     // (0-9)(1-9) = 72: kept
      {1, 19, 3, 72, 19},     // low bits do not count towards the measure
      {1, 74, 70, 74, 35},    // (0-37)(35-37) = 74: (1>>1) + (70>>1)
      {75, 1, 5, 74, 39},     // row B darker than both: (37-0)(2-0) = 74
      {0, 20, 0, 100, 0},     // a = c: (a-b)^2
      {254, 0, 255, 16129, 254},
      // (a-c)^2 >> 12 = 1: 696 - 625 = 71, kept (696 without the term)
      {0, 174, 158, 71, 174},
      // = 2: 1320 - 1250 = 70, kept
      {0, 220, 196, 70, 220},
      {0, 40, 250, -3975, 40},  // B between A and C: negative, kept
      {100, 100, 100, 0, 100},
  };
  Planes p(static_cast<int>(std::size(cases)) * 2, 4, 1);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    ASSERT_EQ(CombMeasure(c.A, c.B, c.C), c.measure) << "case " << i;
    for (int x : {static_cast<int>(2 * i), static_cast<int>(2 * i + 1)}) {
      p.Y(x, 0) = c.A;
      p.Y(x, 1) = c.B;
      p.Y(x, 2) = c.C;
    }
  }
  const std::vector<uint8_t> luma = Deinterlaced(p);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(luma[p.width + 2 * i], c.expected)
        << "A " << int(c.A) << " B " << int(c.B) << " C " << int(c.C) << " measure " << c.measure;
  }
}

TEST(OutputConversion, CombingFilterMatchesReferenceForEverySampleTriple) {
  // Every halved (a, c) pair against every B; the low bits of A and C vary
  // and must not count. Both the luma step and the one-pass conversion
  // (whose kernels filter on their own) are checked, the latter with
  // neutral chroma, where blue, green and red all equal the luma.
  Planes p(256, 4, 2);
  std::fill(p.u.begin(), p.u.end(), 128);
  std::fill(p.v.begin(), p.v.end(), 128);
  std::vector<uint8_t> expected(256), luma(256 * 4), scratch(256 * 4), out(256 * 4 * 3);
  int mismatches = 0;
  for (int a = 0; a < 128 && mismatches < 5; ++a) {
    for (int c = 0; c < 128 && mismatches < 5; ++c) {
      const int A = 2 * a + (c & 1), C = 2 * c + (a & 1);
      for (int B = 0; B < 256; ++B) {
        p.Y(B, 0) = static_cast<uint8_t>(A);
        p.Y(B, 1) = static_cast<uint8_t>(B);
        p.Y(B, 2) = static_cast<uint8_t>(C);
        expected[B] = CombMeasure(A, B, C) > 73 ? static_cast<uint8_t>(a + c) : static_cast<uint8_t>(B);
      }
      DeinterlaceLuma(p.View(), luma.data());
      ConvertOutput1(p.View(), scratch.data(), out.data(), 256 * 3);
      const uint8_t* row1 = luma.data() + 256;
      const uint8_t* outRow1 = out.data() + 2 * 256 * 3;  // picture row 1 of 4, bottom row first
      for (int B = 0; B < 256; ++B) {
        const uint8_t* px = outRow1 + 3 * B;
        if (row1[B] != expected[B] || px[0] != expected[B] || px[1] != expected[B] || px[2] != expected[B]) {
          ADD_FAILURE() << "A " << A << " B " << B << " C " << C << ": " << int(row1[B]) << " and "
                        << int(px[0]) << "," << int(px[1]) << "," << int(px[2]) << ", expected " << int(expected[B]);
          ++mismatches;
        }
      }
    }
  }
}

TEST(OutputConversion, EvenRowsCopiedAndLastOddRowLeftAlone) {
  // Strong combing everywhere: every odd row that may be filtered is.
  for (int height : {2, 4, 6}) {
    SCOPED_TRACE(testing::Message() << "height " << height);
    Planes p(8, height, 3);
    for (int row = 0; row < height; ++row) {
      for (int x = 0; x < 8; ++x) p.Y(x, row) = static_cast<uint8_t>(row % 2 ? 240 + x : 10 + row);
    }
    const std::vector<uint8_t> luma = Deinterlaced(p);
    for (int row = 0; row < height; ++row) {
      for (int x = 0; x < 8; ++x) {
        const uint8_t got = luma[static_cast<std::size_t>(row) * 8 + x];
        if (row % 2 == 0 || row == height - 1) {
          EXPECT_EQ(got, p.Y(x, row)) << "row " << row << " x " << x;
        } else {
          EXPECT_EQ(got, ((10 + row - 1) >> 1) + ((10 + row + 1) >> 1)) << "row " << row << " x " << x;
        }
      }
    }
  }
}

TEST(OutputConversion, ColourConversionAndClamps) {
  struct Case {
    uint8_t y, u, v;
    Bgr expected;
  };
  // Worked out by hand: B = Y + 16646 dU / 8192, G = Y - (3228 dU + 4760
  // dV) / 8192, R = Y + 9339 dV / 8192, each rounded down, then clamped.
  const Case cases[] = {
      {128, 128, 128, {128, 128, 128}},
      {0, 128, 128, {0, 0, 0}},
      {255, 128, 128, {255, 255, 255}},
      {200, 255, 0, {255, 224, 54}},   // blue over 255 (458)
      {50, 0, 255, {0, 26, 194}},      // blue under 0 (-211)
      {200, 0, 0, {0, 255, 54}},       // green over 255 (324)
      {50, 255, 255, {255, 0, 194}},   // green under 0 (-74)
      {200, 128, 255, {200, 126, 255}},  // red over 255 (345)
      {50, 128, 0, {50, 124, 0}},      // red under 0 (-96)
      {100, 127, 128, {97, 100, 100}},  // -2.03 rounds down to -3
      {100, 129, 127, {102, 100, 98}},  // 2.03 to 2; -1.14 to -2
      {16, 90, 240, {0, 0, 143}},
  };
  const int n = static_cast<int>(std::size(cases));
  Planes p(2 * n, 2, 4);
  for (int i = 0; i < n; ++i) {
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx) p.Y(2 * i + dx, dy) = cases[i].y;
    p.U(i, 0) = cases[i].u;
    p.V(i, 0) = cases[i].v;
  }
  const std::vector<uint8_t> luma = Deinterlaced(p);  // two rows: nothing to filter
  std::vector<uint8_t> out(2 * 3 * p.width);
  ConvertToBgrBottomUp(p.View(), luma.data(), out.data(), 3 * p.width);
  for (int i = 0; i < n; ++i) {
    const Case& c = cases[i];
    ASSERT_EQ(ReferencePixel(c.y, c.u, c.v), c.expected) << "case " << i;
    for (int k = 0; k < 4; ++k) {
      const uint8_t* px = out.data() + (k / 2) * 3 * p.width + 3 * (2 * i + k % 2);
      EXPECT_EQ((Bgr{px[0], px[1], px[2]}), c.expected)
          << "Y " << int(c.y) << " U " << int(c.u) << " V " << int(c.v) << " pixel " << k;
    }
  }
}

TEST(OutputConversion, BottomRowComesFirst) {
  Planes p(4, 6, 5);
  for (int row = 0; row < 6; ++row) {
    for (int x = 0; x < 4; ++x) p.Y(x, row) = static_cast<uint8_t>(20 * row);
  }
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 2; ++x) p.U(x, row) = p.V(x, row) = 128;
  }
  // A smooth ramp: the filter leaves it alone.
  std::vector<uint8_t> scratch(4 * 6), out(4 * 6 * 3);
  ConvertOutput1(p.View(), scratch.data(), out.data(), 12);
  for (int outRow = 0; outRow < 6; ++outRow)
    EXPECT_EQ(out[static_cast<std::size_t>(outRow) * 12], 20 * (5 - outRow)) << "output row " << outRow;
}

TEST(OutputConversion, WholeConversionMatchesReference) {
  // Widths below, at and beyond whole blocks of 16 pixels, with and
  // without pixels left over; random samples reach every clamp and comb
  // almost everywhere.
  struct Case {
    int width, height;
    std::size_t rowBytes;  // output row length in bytes
  };
  const Case cases[] = {
      {8, 6, 8 * 3},    {8, 6, 8 * 3 + 7},  // padding after each row
      {2, 2, 6},        {16, 10, 20 * 3},   {6, 8, 6 * 3 + 1},  {32, 4, 32 * 3},
      {40, 6, 40 * 3 + 5}, {50, 8, 50 * 3}, {66, 2, 66 * 3 + 3}, {352, 10, 352 * 3}, {176, 6, 180 * 3},
  };
  uint32_t seed = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " row " << c.rowBytes);
    Planes p(c.width, c.height, seed++);
    // Smooth stretches as well, where the filter keeps the odd row.
    for (int row = 0; row + 2 < c.height; row += 4) {
      for (int x = 0; x < c.width; x += 3) {
        p.Y(x, row) = static_cast<uint8_t>(30 + x % 64);
        p.Y(x, row + 1) = static_cast<uint8_t>(32 + x % 64);
        p.Y(x, row + 2) = static_cast<uint8_t>(34 + x % 64);
      }
    }
    const std::vector<uint8_t> source = p.y;
    constexpr uint8_t kFill = 0xA5;
    const std::vector<uint8_t> expected = ReferenceOutput(p, ReferenceLuma(p), c.rowBytes, kFill);

    std::vector<uint8_t> out(c.rowBytes * c.height, kFill);
    std::vector<uint8_t> scratch(static_cast<std::size_t>(c.width) * c.height);
    ConvertOutput1(p.View(), scratch.data(), out.data(), c.rowBytes);
    EXPECT_EQ(out, expected) << "in one pass";
    EXPECT_EQ(p.y, source) << "the decoder's own luma plane was changed";

    // The same in two steps.
    std::fill(out.begin(), out.end(), kFill);
    const std::vector<uint8_t> luma = Deinterlaced(p);
    EXPECT_EQ(luma, ReferenceLuma(p));
    ConvertToBgrBottomUp(p.View(), luma.data(), out.data(), c.rowBytes);
    EXPECT_EQ(out, expected) << "in two steps";
  }
}

// Rows [first, end) of a picture `height` rows high as ConvertOutput1Rows
// takes them: whole row pairs, within the picture.
std::pair<int, int> RowsCovered(int first, int end, int height) {
  const auto even = [](int row) { return row + (row & 1); };
  return {std::min(even(std::max(first, 0)), height), std::min(even(end), height)};
}

TEST(OutputConversion, RowRangesWriteOnlyTheirRowsAndJoinWithoutSeams) {
  // Widths with and without pixels left to the plain path; every range,
  // odd bounds and bounds beyond the picture included.
  constexpr uint8_t kFill = 0x5A;
  uint32_t seed = 40;
  for (auto [width, height] : {std::pair{40, 14}, {50, 12}, {16, 6}, {8, 2}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    Planes p(width, height, seed++);
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width) + 4;
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    std::vector<uint8_t> expected(rowBytes * height, kFill), scratch(pixels);
    ConvertOutput1(p.View(), scratch.data(), expected.data(), rowBytes);

    for (int first = -1; first <= height; ++first) {
      for (int end = first; end <= height + 2; ++end) {
        std::vector<uint8_t> out(rowBytes * height, kFill), rangeScratch(pixels, kFill);
        ConvertOutput1Rows(p.View(), rangeScratch.data(), out.data(), rowBytes, first, end);
        const auto [from, to] = RowsCovered(first, end, height);
        for (int row = 0; row < height; ++row) {
          const std::size_t at = static_cast<std::size_t>(height - 1 - row) * rowBytes;
          const bool inside = row >= from && row < to;
          const bool same = std::equal(out.begin() + at, out.begin() + at + rowBytes, expected.begin() + at);
          const bool untouched = std::all_of(out.begin() + at, out.begin() + at + rowBytes,
                                             [](uint8_t b) { return b == kFill; });
          ASSERT_TRUE(inside ? same : untouched) << "range " << first << ".." << end << ", row " << row;
          const auto s = rangeScratch.begin() + static_cast<std::ptrdiff_t>(row) * width;
          if (!inside) {
            ASSERT_TRUE(std::all_of(s, s + width, [](uint8_t b) { return b == kFill; }))
                << "range " << first << ".." << end << " wrote scratch row " << row;
          }
        }
      }
    }

    // Two ranges meeting at any even row, the lower one converted first.
    for (int boundary = 0; boundary <= height; boundary += 2) {
      std::vector<uint8_t> out(rowBytes * height, kFill);
      ConvertOutput1Rows(p.View(), scratch.data(), out.data(), rowBytes, boundary, height);
      ConvertOutput1Rows(p.View(), scratch.data(), out.data(), rowBytes, 0, boundary);
      EXPECT_EQ(out, expected) << "meeting at row " << boundary;
    }
  }
}

TEST(BandedConversion, SameAsOnOneThread) {
  // Picture sizes of the recorders and others: a number of strips odd or
  // even, a last strip short of kBandStripRows, pixels left over at the
  // end of each row, a picture of one strip. Each picture is converted
  // until the helper thread has helped several times (or a time
  // bound), with the output refilled each time so that a strip left out
  // shows, and every other time refilled once more straight after the
  // conversion so that a write arriving late shows.
  struct Case {
    int width, height;
  };
  const Case cases[] = {{720, 576}, {720, 240}, {176, 112}, {352, 288}, {720, 570}, {90, 34}, {40, 16}};
  constexpr uint8_t kFill = 0xC3;
  std::unique_ptr<BandedConversion> banded = BandedConversion::Start();
  ASSERT_NE(banded, nullptr);
  uint32_t seed = 60;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    Planes p(c.width, c.height, seed++);
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(c.width) + 2;
    std::vector<uint8_t> expected(rowBytes * c.height, kFill);
    std::vector<uint8_t> scratch(static_cast<std::size_t>(c.width) * c.height);
    ConvertOutput1(p.View(), scratch.data(), expected.data(), rowBytes);

    const uint64_t sharedBefore = banded->SharedPictures();
    // A picture of one strip stays with the caller. The helper, woken for
    // each picture, helps with a small picture only now and then: the
    // caller is often done before it is up.
    const bool oneStrip = c.height <= kBandStripRows;
    const bool large = c.width * c.height >= 640 * 240;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(large ? 3000 : 300);
    // Pictures the helper helped with, compared and checked for late writes.
    int compared = 0, checkedLate = 0;
    const auto enough = [&] { return oneStrip || (compared >= 3 && checkedLate >= 3); };
    std::vector<uint8_t> out(expected.size());
    for (int n = 0; n < 10 || (!enough() && std::chrono::steady_clock::now() < deadline); ++n) {
      std::fill(out.begin(), out.end(), kFill);
      const uint64_t shared = banded->SharedPictures();
      banded->Convert(p.View(), scratch.data(), out.data(), rowBytes);
      if (n % 2 == 0) {
        ASSERT_EQ(out, expected) << "picture " << n;
        compared += banded->SharedPictures() > shared;
      } else {
        // Nothing may reach the output once Convert has returned.
        std::fill(out.begin(), out.end(), kFill);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        ASSERT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == kFill; }))
            << "written after the return, picture " << n;
        checkedLate += banded->SharedPictures() > shared;
      }
    }
    // A picture large enough always gives the helper time to wake and
    // take strips; one that never does means the hand-over is broken.
    if (large) {
      EXPECT_GT(banded->SharedPictures(), sharedBefore);
    }
    if (oneStrip) {
      EXPECT_EQ(banded->SharedPictures(), sharedBefore);
    }
  }
}

}  // namespace
}  // namespace tsv
