#include "platform/SystemTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tsv {
namespace {

SYSTEMTIME At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms = 0) {
  SYSTEMTIME t;
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  t.wMilliseconds = ms;
  return t;
}

TEST(SystemTime, BytesRoundTripInFieldOrder) {
  const uint8_t bytes[16] = {0xD5, 0x07, 3, 0, 6, 0, 5, 0, 10, 0, 15, 0, 30, 0, 0xE7, 0x03};
  const SYSTEMTIME t = ReadSystemTime(bytes);
  EXPECT_EQ(t.wYear, 2005);
  EXPECT_EQ(t.wMonth, 3);
  EXPECT_EQ(t.wDayOfWeek, 6);
  EXPECT_EQ(t.wDay, 5);
  EXPECT_EQ(t.wHour, 10);
  EXPECT_EQ(t.wMinute, 15);
  EXPECT_EQ(t.wSecond, 30);
  EXPECT_EQ(t.wMilliseconds, 999);
  uint8_t back[16] = {};
  WriteSystemTime(back, t);
  EXPECT_EQ(0, std::memcmp(bytes, back, 16));
}

TEST(SystemTime, AddSecondsCarriesThroughCalendar) {
  // The tests run with TZ=UTC, so no daylight-saving jump interferes.
  struct Case {
    SYSTEMTIME base;
    uint32_t seconds;
    SYSTEMTIME expected;
  } cases[] = {
      {At(2005, 3, 5, 10, 15, 30, 500), 0, At(2005, 3, 5, 10, 15, 30)},
      {At(2005, 3, 5, 23, 59, 59), 1, At(2005, 3, 6, 0, 0, 0)},
      {At(2004, 2, 28, 12, 0, 0), 86400, At(2004, 2, 29, 12, 0, 0)},  // leap day
      {At(2005, 12, 31, 23, 0, 0), 3600, At(2006, 1, 1, 0, 0, 0)},
      {At(2005, 3, 5, 0, 0, 0), 10 * 86400 + 61, At(2005, 3, 15, 0, 1, 1)},
  };
  for (const auto& c : cases) {
    SYSTEMTIME got = AddSecondsLocal(c.base, c.seconds);
    EXPECT_EQ(got.wMilliseconds, 0);
    got.wDayOfWeek = 0;
    EXPECT_EQ(FormatSystemTime(got, true), FormatSystemTime(c.expected, true));
  }
  EXPECT_EQ(AddSecondsLocal(At(2005, 3, 5, 0, 0, 0), 0).wDayOfWeek, 6);  // a Saturday
}

TEST(SystemTime, ParseAcceptsOnlyWellFormedTimes) {
  auto t = ParseSystemTime("2026-03-05 10:15:30");
  ASSERT_TRUE(t);
  EXPECT_EQ(FormatSystemTime(*t, false), "2026-03-05 10:15:30");
  EXPECT_EQ(t->wDayOfWeek, 4);  // a Thursday
  t = ParseSystemTime("2026-03-05 10:15:30.250");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->wMilliseconds, 250);
  for (const char* bad : {"", "2026-03-05", "2026-13-05 10:15:30", "2026-03-05 24:00:00", "2026-03-05 10:15:30x",
                          "2026-03-05 10:15:30."})
    EXPECT_FALSE(ParseSystemTime(bad)) << bad;
}

}  // namespace
}  // namespace tsv
