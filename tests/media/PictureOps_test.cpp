#include "media/PictureOps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/PictureFile.h"
#include "platform/ByteIO.h"

namespace tsv {
namespace {

// A picture whose every pixel names its own position.
std::vector<uint8_t> Numbered(uint16_t w, uint16_t h) {
  std::vector<uint8_t> p(static_cast<std::size_t>(w) * h * 3);
  for (uint16_t y = 0; y < h; ++y)
    for (uint16_t x = 0; x < w; ++x) {
      uint8_t* px = &p[(static_cast<std::size_t>(y) * w + x) * 3];
      px[0] = static_cast<uint8_t>(x);
      px[1] = static_cast<uint8_t>(y);
      px[2] = static_cast<uint8_t>(x ^ y);
    }
  return p;
}

TEST(ResizePicture24, NearestNeighbourWithExactFactors) {
  struct Case {
    uint16_t w, h, tw, th;
  } cases[] = {{4, 3, 8, 6}, {8, 6, 4, 3}, {720, 240, 720, 480}, {352, 240, 1280, 720}, {5, 5, 3, 7}, {3, 3, 3, 3}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> in = Numbered(c.w, c.h);
    std::vector<uint8_t> out(static_cast<std::size_t>(c.tw) * c.th * 3, 0xEE);
    ResizePicture24(in.data(), c.w, c.h, out.data(), c.tw, c.th);
    for (uint32_t y = 0; y < c.th; ++y)
      for (uint32_t x = 0; x < c.tw; ++x) {
        const uint32_t sx = x * c.w / c.tw, sy = y * c.h / c.th;
        const uint8_t* got = &out[(static_cast<std::size_t>(y) * c.tw + x) * 3];
        const uint8_t* want = &in[(static_cast<std::size_t>(sy) * c.w + sx) * 3];
        ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
            << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th << " at " << x << "," << y;
      }
  }
}

TEST(ExpandFieldLines, EverySourceLineTwice) {
  for (uint16_t h : {480, 576, 456, 552, 2}) {
    const uint16_t w = 8;
    std::vector<uint8_t> p = Numbered(w, h);
    const std::vector<uint8_t> field(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(w) * (h / 2) * 3);
    ExpandFieldLines(p.data(), w, h);
    for (uint16_t y = 0; y < h; ++y)
      ASSERT_EQ(0, std::memcmp(&p[static_cast<std::size_t>(y) * w * 3], &field[static_cast<std::size_t>(y / 2) * w * 3],
                               w * 3u))
          << "height " << h << " row " << y;
  }
}

TEST(PictureFile, BmpKeepsRowsBottomUpWithPadding) {
  const std::vector<uint8_t> p = Numbered(5, 3);  // 15-byte rows padded to 16
  const std::vector<uint8_t> bmp = EncodeBmp(p.data(), 5, 3);
  ASSERT_EQ(bmp.size(), 54u + 16 * 3);
  EXPECT_EQ(GetU32LE(&bmp[18]), 5u);
  EXPECT_EQ(GetU32LE(&bmp[22]), 3u);  // positive height: bottom row first
  EXPECT_EQ(GetU16LE(&bmp[28]), 24u);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(&bmp[54 + 16 * y], &p[15 * y], 15));
}

TEST(PictureFile, PngIsAPngAndUnknownExtensionsAreRefused) {
  const std::vector<uint8_t> p = Numbered(16, 8);
  const std::vector<uint8_t> png = EncodePng(p.data(), 16, 8);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
  std::string error;
  EXPECT_FALSE(WritePictureFile("/tmp/picture.gif", p.data(), 16, 8, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tsv
