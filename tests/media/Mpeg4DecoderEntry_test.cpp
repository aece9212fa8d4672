// Entry-point dispatch of the MPEG-4 decoder: the disabled switch, the
// work-area size query and the control codes without effect.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv {
namespace {

struct SizeCase {
  uint16_t width;
  uint16_t height;
  uint32_t sizes[kMpeg4WorkAreaCount];
};

// Expected values worked out by hand from the layout of the work areas:
// two bordered 4:2:0 reference pictures, one unbordered scratch picture,
// then three fixed areas.
constexpr SizeCase kSizeCases[] = {
    {720, 576, {800256, 800256, 829440, 710484, 11332, 2216}},
    // 416*304 + 2*(240*184) = 126464 + 88320; 352*240*2
    {352, 240, {214784, 214784, 168960, 710484, 11332, 2216}},
    // odd sizes: halves round down. 249*185 + 2*(156*124) = 46065 + 38688;
    // 185*121 = 22385 -> 22385 + 2*11192
    {185, 121, {84753, 84753, 44769, 710484, 11332, 2216}},
    // no picture at all still has its borders
    {0, 0, {12288, 12288, 0, 710484, 11332, 2216}},
};

TEST(Mpeg4DecoderEntry, SizeQueryWritesSizeListAndParams) {
  for (const SizeCase& c : kSizeCases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    Mpeg4DecoderParams params;
    uint32_t sizes[kMpeg4WorkAreaCount] = {};
    EXPECT_EQ(kMpeg4Ok, Mpeg4DecoderEntry(1, kMpeg4SizeQuery, &params, sizes, c.width, c.height, 0));
    EXPECT_EQ(c.width, params.width);
    EXPECT_EQ(c.height, params.height);
    for (int i = 0; i < kMpeg4WorkAreaCount; ++i) {
      EXPECT_EQ(c.sizes[i], sizes[i]) << "size " << i;
      EXPECT_EQ(c.sizes[i], params.workAreaSizes[i]) << "params size " << i;
    }
  }
}

TEST(Mpeg4DecoderEntry, SizeQueryWithoutParamsStillAnswers) {
  uint32_t sizes[kMpeg4WorkAreaCount] = {};
  EXPECT_EQ(kMpeg4Ok, Mpeg4DecoderEntry(1, kMpeg4SizeQuery, nullptr, sizes, 720, 576, 0));
  EXPECT_EQ(800256u, sizes[0]);
  EXPECT_EQ(kMpeg4Failed, Mpeg4DecoderEntry(1, kMpeg4SizeQuery, nullptr, nullptr, 720, 576, 0));
}

// Near the 16-bit limit a bordered picture needs more than 4 GiB; a
// wrapped 32-bit size would make the caller allocate far too little.
TEST(Mpeg4DecoderEntry, SizeQueryRefusesSizesBeyond32Bits) {
  const uint16_t big = std::numeric_limits<uint16_t>::max();
  Mpeg4DecoderParams params;
  uint32_t sizes[kMpeg4WorkAreaCount] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(kMpeg4Failed, Mpeg4DecoderEntry(1, kMpeg4SizeQuery, &params, sizes, big, big, 0));
  EXPECT_EQ(720u, params.width);  // untouched
  EXPECT_EQ(1u, sizes[0]);
  // The widest picture that still fits: 65535 x 1.
  EXPECT_EQ(kMpeg4Ok, Mpeg4DecoderEntry(1, kMpeg4SizeQuery, &params, sizes, big, 1, 0));
  EXPECT_EQ(65599u * 65u + 2u * (32831u * 64u), sizes[0]);
}

TEST(Mpeg4DecoderEntry, ResultCodesByControlCode) {
  struct Case {
    uint32_t enable;
    uint32_t code;
    uint32_t result;
  };
  const Case cases[] = {
      {0, kMpeg4SizeQuery, kMpeg4Disabled},   {0, kMpeg4HeaderQuery, kMpeg4Disabled},
      {0, kMpeg4DecodePicture, kMpeg4Disabled}, {0, kMpeg4NoOp1, kMpeg4Disabled},
      {1, kMpeg4NoOp1, kMpeg4Ok},             {7, kMpeg4NoOp2, kMpeg4Ok},
      // header query with no stream record
      {1, kMpeg4HeaderQuery, kMpeg4Failed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, Mpeg4DecoderEntry(c.enable, c.code, nullptr, nullptr, 720, 576, 0))
        << "enable " << c.enable << " code 0x" << std::hex << c.code;
  }
}

TEST(Mpeg4DecoderEntry, DisabledTouchesNothing) {
  Mpeg4DecoderParams params;
  uint32_t sizes[kMpeg4WorkAreaCount] = {};
  EXPECT_EQ(kMpeg4Disabled, Mpeg4DecoderEntry(0, kMpeg4SizeQuery, &params, sizes, 352, 240, 0));
  EXPECT_EQ(720u, params.width);
  EXPECT_EQ(0u, sizes[0]);
}

TEST(Mpeg4DecoderEntry, NoOpCodesLeaveRecordsAlone) {
  Mpeg4DecoderParams params;
  params.outputFormat = 5;
  for (uint32_t code : {kMpeg4NoOp1, kMpeg4NoOp2}) {
    EXPECT_EQ(kMpeg4Ok, Mpeg4DecoderEntry(1, code, &params, &params, 352, 240, 1));
    EXPECT_EQ(720u, params.width);
    EXPECT_EQ(576u, params.height);
    EXPECT_EQ(5u, params.outputFormat);
  }
}

}  // namespace
}  // namespace tsv
