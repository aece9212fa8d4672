// JPEG decode into bottom-up blue-green-red pictures and encode back.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "media/jpeg/JpegPicture.h"

namespace tsv {
namespace {

constexpr int kTopBgr[3] = {40, 200, 230};    // bright yellow, shown at the top
constexpr int kBottomBgr[3] = {160, 40, 20};  // dark blue, shown at the bottom

// A bottom-up BGR picture that fades from dark blue at the bottom (the
// first row in memory) to bright yellow at the top, with a soft horizontal
// ramp. Smooth, so 4:2:0 coding keeps it well; the top and bottom rows
// differ strongly in every channel.
std::vector<uint8_t> MakePicture(int width, int height) {
  std::vector<uint8_t> picture(static_cast<std::size_t>(width) * height * 3);
  for (int row = 0; row < height; ++row) {
    const double up = height > 1 ? static_cast<double>(row) / (height - 1) : 0.0;
    for (int x = 0; x < width; ++x) {
      const double ramp = width > 1 ? 20.0 * x / (width - 1) : 0.0;
      for (int c = 0; c < 3; ++c) {
        const double value = kBottomBgr[c] + (kTopBgr[c] - kBottomBgr[c]) * up + ramp;
        picture[(static_cast<std::size_t>(row) * width + x) * 3 + c] = static_cast<uint8_t>(value);
      }
    }
  }
  return picture;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  const double mse = sum / static_cast<double>(a.size());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Mean of one channel over a row of a packed picture.
double RowMean(const std::vector<uint8_t>& picture, int width, int row, int channel) {
  double sum = 0;
  for (int x = 0; x < width; ++x) sum += picture[(static_cast<std::size_t>(row) * width + x) * 3 + channel];
  return sum / width;
}

std::vector<uint8_t> GoodJpeg(int width = 64, int height = 48) {
  return EncodeJpegPicture(MakePicture(width, height).data(), static_cast<uint16_t>(width),
                           static_cast<uint16_t>(height), 90);
}

struct Decoded {
  bool ok = false;
  uint16_t width = 0;
  uint16_t height = 0;
  std::vector<uint8_t> picture;
};

// Decodes exactly `length` bytes of a heap copy so any over-read shows
// under the address sanitizer.
Decoded Decode(const std::vector<uint8_t>& bytes, std::size_t length, std::size_t capacity = kPictureSlotSize,
               uint16_t expectWidth = 0, uint16_t expectHeight = 0) {
  std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  Decoded d;
  d.picture.assign(capacity, 0);
  d.ok = DecodeJpegPicture(exact.data(), exact.size(), d.picture.data(), capacity, expectWidth, expectHeight,
                           &d.width, &d.height);
  return d;
}

Decoded Decode(const std::vector<uint8_t>& bytes) { return Decode(bytes, bytes.size()); }

std::vector<uint8_t> Concat(std::initializer_list<const std::vector<uint8_t>*> parts) {
  std::vector<uint8_t> out;
  for (const auto* part : parts) {
    for (uint8_t b : *part) out.push_back(b);
  }
  return out;
}

TEST(JpegPicture, RoundTripKeepsRowOrderAndQuality) {
  struct Size {
    int width;
    int height;
  };
  const Size sizes[] = {{64, 48}, {50, 30}, {720, 576}, {33, 17}};
  for (const Size& s : sizes) {
    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height);
    const std::vector<uint8_t> original = MakePicture(s.width, s.height);
    const std::vector<uint8_t> jpeg =
        EncodeJpegPicture(original.data(), static_cast<uint16_t>(s.width), static_cast<uint16_t>(s.height), 90);
    ASSERT_FALSE(jpeg.empty());
    Decoded d = Decode(jpeg);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(s.width, d.width);
    EXPECT_EQ(s.height, d.height);
    d.picture.resize(original.size());
    EXPECT_GT(Psnr(original, d.picture), 30.0);
    // First row in memory is the bottom of the picture: dark blue.
    EXPECT_GT(RowMean(d.picture, s.width, 0, 0), 130.0);
    EXPECT_LT(RowMean(d.picture, s.width, 0, 1), 80.0);
    EXPECT_GT(RowMean(d.picture, s.width, s.height - 1, 1), 170.0);
    EXPECT_LT(RowMean(d.picture, s.width, s.height - 1, 0), 80.0);
  }
}

// A round trip alone would pass if encode and decode were both upside
// down; check each direction against TurboJPEG used top-down directly.
TEST(JpegPicture, EncodeAndDecodeEachUseBottomUpRows) {
  const int width = 32;
  const int height = 32;
  tjhandle tj = tjInitDecompress();
  ASSERT_NE(nullptr, tj);
  const std::vector<uint8_t> ours = GoodJpeg(width, height);
  std::vector<uint8_t> topDown(static_cast<std::size_t>(width) * height * 3);
  ASSERT_EQ(0,
            tjDecompress2(tj, ours.data(), ours.size(), topDown.data(), width, width * 3, height, TJPF_BGR, 0));
  tjDestroy(tj);
  // Top-down: the first row is the top of the picture, bright yellow.
  EXPECT_GT(RowMean(topDown, width, 0, 1), 170.0);
  EXPECT_LT(RowMean(topDown, width, 0, 0), 80.0);

  tj = tjInitCompress();
  ASSERT_NE(nullptr, tj);
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  ASSERT_EQ(0, tjCompress2(tj, topDown.data(), width, width * 3, height, TJPF_BGR, &jpeg, &jpegSize, TJSAMP_444,
                           95, 0));
  const std::vector<uint8_t> theirs(jpeg, jpeg + jpegSize);
  tjFree(jpeg);
  tjDestroy(tj);
  const Decoded d = Decode(theirs);
  ASSERT_TRUE(d.ok);
  EXPECT_LT(RowMean(d.picture, width, 0, 1), 80.0);            // bottom first: dark blue
  EXPECT_GT(RowMean(d.picture, width, height - 1, 1), 170.0);  // top last: bright yellow
}

TEST(JpegPicture, ExpectedSizeMustMatch) {
  const std::vector<uint8_t> jpeg = GoodJpeg(64, 48);
  struct Case {
    uint16_t expectWidth;
    uint16_t expectHeight;
    bool ok;
  };
  const Case cases[] = {
      {0, 0, true}, {64, 48, true}, {64, 0, true}, {0, 48, true},
      {65, 48, false}, {64, 47, false}, {48, 64, false}, {0, 96, false},
  };
  for (const Case& c : cases) {
    const Decoded d = Decode(jpeg, jpeg.size(), kPictureSlotSize, c.expectWidth, c.expectHeight);
    EXPECT_EQ(c.ok, d.ok) << "expect " << c.expectWidth << "x" << c.expectHeight;
  }
}

// The decoder writes nothing when the picture does not fit, and never
// beyond the capacity it was given.
TEST(JpegPicture, CapacityBoundsThePicture) {
  const std::vector<uint8_t> jpeg = GoodJpeg(64, 48);
  const std::size_t needed = 64 * 48 * 3;
  struct Case {
    std::size_t capacity;
    bool ok;
  };
  const Case cases[] = {{needed, true}, {needed - 1, false}, {0, false}, {kPictureSlotSize, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "capacity " << c.capacity);
    std::vector<uint8_t> buffer(c.capacity + 64, 0xA5);
    uint16_t w = 0;
    uint16_t h = 0;
    EXPECT_EQ(c.ok, DecodeJpegPicture(jpeg.data(), jpeg.size(), buffer.data(), c.capacity, 0, 0, &w, &h));
    const std::size_t untouchedFrom = c.ok ? needed : 0;
    for (std::size_t i = untouchedFrom; i < buffer.size(); ++i) {
      ASSERT_EQ(0xA5, buffer[i]) << "byte " << i;
    }
  }
}

TEST(JpegPicture, FindJpegStart) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::size_t from;
    std::size_t expected;
  };
  const Case cases[] = {
      {{0xFF, 0xD8, 0xFF, 0xE0}, 0, 0},
      {{0x00, 0x00, 0x01, 0xD0, 0xFF, 0xD8, 0xFF}, 0, 4},
      {{0xFF, 0xD8, 0x00, 0xFF, 0xD8, 0xFF}, 0, 3},  // FF D8 without a marker after it
      {{0xFF, 0xD8, 0xFF, 0xFF, 0xD8, 0xFF}, 1, 3},
      {{0xFF, 0xD8}, 0, 2},                           // too short
      {{0x12, 0xFF, 0xD8}, 0, 3},
      {{0xFF, 0xD8, 0xFF}, 5, 3},                     // start beyond the end
      {{}, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, FindJpegStart(c.bytes.data(), c.bytes.size(), c.from))
        << c.bytes.size() << " bytes from " << c.from;
  }
}

TEST(JpegPicture, BytesAroundThePictureAreIgnored) {
  const std::vector<uint8_t> jpeg = GoodJpeg();
  const Decoded plain = Decode(jpeg);
  ASSERT_TRUE(plain.ok);
  struct Case {
    const char* name;
    std::vector<uint8_t> before;
    std::vector<uint8_t> after;
  };
  const Case cases[] = {
      {"picture packet start code", {0x00, 0x00, 0x01, 0xD0}, {}},
      {"lone FF D8 in the junk", {0xFF, 0xD8, 0x00, 0xFF, 0xFF, 0xD8, 0x12}, {}},
      {"padding after the end marker", {}, std::vector<uint8_t>(100, 0x00)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(Concat({&c.before, &jpeg, &c.after}));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(64, d.width);
    EXPECT_EQ(48, d.height);
    EXPECT_EQ(plain.picture, d.picture);
  }
}

TEST(JpegPicture, TruncationAtEveryByteFails) {
  const std::vector<uint8_t> jpeg = GoodJpeg(32, 16);
  for (std::size_t length = 0; length < jpeg.size(); ++length) {
    EXPECT_FALSE(Decode(jpeg, length).ok) << "length " << length << " of " << jpeg.size();
  }
}

TEST(JpegPicture, GarbageFails) {
  std::mt19937 random(12345);
  std::vector<uint8_t> noise(4096);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  const std::vector<uint8_t> soi = {0xFF, 0xD8, 0xFF};
  const std::vector<uint8_t> noiseAfterSoi = Concat({&soi, &noise});
  const std::vector<std::vector<uint8_t>> inputs = {
      {}, {0xFF, 0xD8, 0xFF}, {0xFF, 0xD8, 0xFF, 0xD9}, noise, noiseAfterSoi, std::vector<uint8_t>(1000, 0xFF),
  };
  for (const auto& bytes : inputs) {
    EXPECT_FALSE(Decode(bytes).ok) << bytes.size() << " bytes";
  }
  uint8_t picture[16];
  EXPECT_FALSE(DecodeJpegPicture(nullptr, 100, picture, sizeof picture, 0, 0, nullptr, nullptr));
}

// Damaged pictures either decode or fail; none may crash or over-run
// (run under the address sanitizer for the second half of that).
TEST(JpegPicture, CorruptedBytesNeverCrash) {
  const std::vector<uint8_t> jpeg = GoodJpeg(48, 32);
  std::mt19937 random(777);
  for (int round = 0; round < 500; ++round) {
    std::vector<uint8_t> bytes = jpeg;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    const Decoded d = Decode(bytes);
    if (d.ok) {
      EXPECT_LE(static_cast<std::size_t>(d.width) * d.height * 3, kPictureSlotSize);
    }
  }
}

TEST(JpegPicture, EncodeRefusesBadArguments) {
  const std::vector<uint8_t> picture = MakePicture(8, 8);
  EXPECT_TRUE(EncodeJpegPicture(picture.data(), 8, 8, 0).empty());
  EXPECT_TRUE(EncodeJpegPicture(picture.data(), 8, 8, 101).empty());
  EXPECT_TRUE(EncodeJpegPicture(picture.data(), 0, 8, 75).empty());
  EXPECT_TRUE(EncodeJpegPicture(nullptr, 8, 8, 75).empty());
  EXPECT_FALSE(EncodeJpegPicture(picture.data(), 8, 8, 1).empty());
  EXPECT_FALSE(EncodeJpegPicture(picture.data(), 8, 8, 100).empty());
}

}  // namespace
}  // namespace tsv
