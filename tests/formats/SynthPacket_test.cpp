// Packets as the synthesizer builds them: head layout, lengths, time
// stamps, the packed local time, and no start code inside the head.
#include <gtest/gtest.h>

#include <vector>

#include "formats/PesPacket.h"
#include "synth/PacketBuilder.h"

namespace tsv {
namespace {

bool HeadHasStrayStartCode(const std::vector<uint8_t>& p, std::size_t headSize) {
  for (std::size_t i = 1; i + 2 < headSize; ++i) {
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return true;
  }
  return false;
}

TEST(SynthPacket, PictureAndSoundHeads) {
  struct Case {
    const char* what;
    bool sound;
    bool longHead;
    bool topBit;
    bool dts;
    std::size_t dataAt;
  };
  const Case cases[] = {
      {"short picture head", false, false, false, false, 32},
      {"short head with DTS", false, false, false, true, 32},
      {"long picture head", false, true, false, false, 104},
      {"long head, mark with top bit", false, true, true, true, 104},
      {"sound head", true, false, false, false, 64},
  };
  // Stamps whose bytes are mostly zero are the likeliest to form 00 00 01.
  const uint32_t stamps[] = {0, 1, 0x80, 0x100, 0x8000, 0x10000, 0x400000, 0x40000000, 0xFFFFFFFF};
  const std::vector<uint8_t> data(300, 0x00);
  for (const Case& c : cases) {
    for (uint32_t pts : stamps) {
      SCOPED_TRACE(std::string(c.what) + ", pts " + std::to_string(pts));
      PacketHead head;
      head.streamByte = c.sound ? 0xC0 : 0xE5;
      head.pts = pts;
      head.withDts = c.dts;
      head.longHead = c.longHead;
      head.longHeadTopBit = c.topBit;
      std::vector<uint8_t> p;
      ASSERT_TRUE(c.sound ? BuildSoundPacket(head, data.data(), data.size(), &p)
                          : BuildPicturePacket(head, data.data(), data.size(), &p));
      ASSERT_EQ(p.size(), c.dataAt + data.size());
      EXPECT_EQ(p[0], 0x00);
      EXPECT_EQ(p[1], 0x00);
      EXPECT_EQ(p[2], 0x01);
      EXPECT_EQ(p[3], head.streamByte);
      EXPECT_EQ((p[4] << 8) | p[5], static_cast<int>(p.size() - 6));
      EXPECT_EQ(p[6], 0x80);
      EXPECT_EQ(p[7], c.dts ? 0xC0 : 0x80);
      EXPECT_EQ(9u + p[8], c.dataAt);
      EXPECT_EQ(ReadPesStamp(p.data() + 9), pts);
      if (c.dts) {
        EXPECT_EQ(ReadPesStamp(p.data() + 14), pts);
      }
      EXPECT_EQ(p[20], c.longHead ? (c.topBit ? 83 | 0x80 : 83) : 0xFF);
      EXPECT_EQ(Read22Bit(p.data() + 21), data.size());
      EXPECT_EQ(Read22Bit(p.data() + 24), p.size());
      if (!c.sound) {
        EXPECT_EQ(PacketPayloadOffset(p.data(), p.size()), c.dataAt);
      }
      EXPECT_FALSE(HeadHasStrayStartCode(p, c.dataAt));
      // The reader's scan finds the stamp (the DTS where there is one).
      const PesScan scan = ScanPes(p.data(), c.dataAt, false);
      EXPECT_TRUE(scan.found & kPesFoundStamp);
      EXPECT_EQ(scan.pts, pts);
    }
  }
}

TEST(SynthPacket, LengthFieldLimits) {
  std::vector<uint8_t> p;
  const std::vector<uint8_t> big(kMaxPacketLength - 32 + 1);
  EXPECT_FALSE(BuildPicturePacket(PacketHead{}, big.data(), big.size(), &p));
  EXPECT_TRUE(BuildPicturePacket(PacketHead{}, big.data(), big.size() - 1, &p));
  EXPECT_EQ(Read22Bit(p.data() + 24), kMaxPacketLength);
  // Too long for the 16-bit PES length: written as 0 (unbounded).
  EXPECT_EQ(p[4] | p[5], 0);
}

TEST(SynthPacket, PackedFrameTime) {
  struct Case {
    const char* time;
    bool packs;
    uint8_t bytes[5];
  };
  // w = year << 26 | month << 22 | day << 17 | hour << 12 | minute << 6 | second,
  // big-endian in bytes 1..4; bit 4 of byte 0 adds 128 to the year.
  const Case cases[] = {
      // 26 << 26 | 3 << 22 | 5 << 17 | 10 << 12 | 15 << 6 | 30 = 0x68CAA3DE
      {"2026-03-05 10:15:30", true, {0xEF, 0x68, 0xCA, 0xA3, 0xDE}},
      // 0 << 26 | 1 << 22 | 1 << 17 | 0 | 0 | 1 = 0x00420001
      {"2000-01-01 00:00:01", true, {0xEF, 0x00, 0x42, 0x00, 0x01}},
      // year 2130: 2 in w, 128 from byte 0; 12 << 22 | 31 << 17 | 23 << 12 | 59 << 6 | 59
      {"2130-12-31 23:59:59", true, {0xFF, 0x0B, 0x3F, 0x7E, 0xFB}},
      {"2070-01-01 00:00:00", false, {0x11, 0x22, 0x33, 0x44, 0x55}},
      {"1999-12-31 23:59:59", false, {0x11, 0x22, 0x33, 0x44, 0x55}},
  };
  for (const Case& c : cases) {
    uint8_t bytes[5] = {0x11, 0x22, 0x33, 0x44, 0x55};
    EXPECT_EQ(PackFrameTime(*ParseSystemTime(c.time), bytes), c.packs) << c.time;
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), std::vector<uint8_t>(c.bytes, c.bytes + 5)) << c.time;
  }
}

}  // namespace
}  // namespace tsv
