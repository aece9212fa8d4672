// The packed local time of ".QRV" packets (year bit in byte 27 included)
// and the day of week computed for it.
#include <gtest/gtest.h>

#include "formats/StreamPacket.h"
#include "synth/PacketBuilder.h"

namespace tsv {
namespace {

TEST(StreamPacket, PackedTimeDecodes) {
  // Hand-packed: 2026-03-05 10:15:30 is year 26, so w = 26 << 26 | 3 << 22 | 5 << 17 | 10 << 12 | 15 << 6 | 30.
  const uint8_t bytes[] = {0xEF, 0x68, 0xCA, 0xA3, 0xDE};
  EXPECT_EQ(UnpackFrameTime(bytes), (SYSTEMTIME{2026, 3, 4, 5, 10, 15, 30, 0}));
  // Bit 4 of byte 27 adds 128 years; the other bits of that byte carry nothing.
  const uint8_t high[] = {0x10, 0x68, 0xCA, 0xA3, 0xDE};
  EXPECT_EQ(UnpackFrameTime(high).wYear, 2154);
  const uint8_t noise[] = {0xEF & ~0x10, 0x68, 0xCA, 0xA3, 0xDE};
  EXPECT_EQ(UnpackFrameTime(noise).wYear, 2026);

  // What the synthesizer packs comes back, day of week included. Six bits
  // and the extra bit hold the years 2000..2063 and 2128..2191.
  const SYSTEMTIME times[] = {
      {2000, 1, 6, 1, 0, 0, 0, 0},     {2063, 12, 1, 31, 23, 59, 59, 0}, {2128, 2, 0, 29, 12, 30, 1, 0},
      {2191, 6, 3, 15, 7, 8, 9, 0},    {2024, 2, 4, 29, 1, 2, 3, 0},     {2045, 11, 3, 8, 19, 45, 0, 0},
  };
  for (const SYSTEMTIME& t : times) {
    uint8_t packed[5] = {};
    ASSERT_TRUE(PackFrameTime(t, packed)) << t.wYear;
    EXPECT_EQ(UnpackFrameTime(packed), t) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
  }
}

TEST(StreamPacket, DayOfWeekOnlyForRealDates) {
  EXPECT_EQ(DayOfWeek(2026, 1, 1), 4);  // a Thursday
  EXPECT_EQ(DayOfWeek(2000, 2, 29), 2);
  EXPECT_EQ(DayOfWeek(2100, 2, 29), std::nullopt);
  EXPECT_EQ(DayOfWeek(2026, 0, 1), std::nullopt);
  EXPECT_EQ(DayOfWeek(2026, 13, 1), std::nullopt);
  EXPECT_EQ(DayOfWeek(2026, 4, 31), std::nullopt);
  EXPECT_EQ(DayOfWeek(2026, 4, 0), std::nullopt);
}

}  // namespace
}  // namespace tsv
