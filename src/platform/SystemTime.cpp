#include "platform/SystemTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/ByteIO.h"

namespace tsv {

SYSTEMTIME ReadSystemTime(const uint8_t* p) {
  SYSTEMTIME t;
  t.wYear = GetU16LE(p);
  t.wMonth = GetU16LE(p + 2);
  t.wDayOfWeek = GetU16LE(p + 4);
  t.wDay = GetU16LE(p + 6);
  t.wHour = GetU16LE(p + 8);
  t.wMinute = GetU16LE(p + 10);
  t.wSecond = GetU16LE(p + 12);
  t.wMilliseconds = GetU16LE(p + 14);
  return t;
}

void WriteSystemTime(uint8_t* p, const SYSTEMTIME& t) {
  PutU16LE(p, t.wYear);
  PutU16LE(p + 2, t.wMonth);
  PutU16LE(p + 4, t.wDayOfWeek);
  PutU16LE(p + 6, t.wDay);
  PutU16LE(p + 8, t.wHour);
  PutU16LE(p + 10, t.wMinute);
  PutU16LE(p + 12, t.wSecond);
  PutU16LE(p + 14, t.wMilliseconds);
}

static SYSTEMTIME FromTm(const std::tm& tm, uint16_t ms) {
  SYSTEMTIME t;
  t.wYear = static_cast<uint16_t>(tm.tm_year + 1900);
  t.wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
  t.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  t.wDay = static_cast<uint16_t>(tm.tm_mday);
  t.wHour = static_cast<uint16_t>(tm.tm_hour);
  t.wMinute = static_cast<uint16_t>(tm.tm_min);
  t.wSecond = static_cast<uint16_t>(tm.tm_sec);
  t.wMilliseconds = ms;
  return t;
}

SYSTEMTIME AddSecondsLocal(const SYSTEMTIME& base, uint32_t seconds) {
  std::tm tm{};
  tm.tm_year = base.wYear - 1900;
  tm.tm_mon = base.wMonth - 1;
  tm.tm_mday = base.wDay;
  tm.tm_hour = base.wHour;
  tm.tm_min = base.wMinute;
  tm.tm_sec = base.wSecond;
  tm.tm_isdst = -1;
  std::time_t when = std::mktime(&tm);
  if (when == static_cast<std::time_t>(-1)) {
    SYSTEMTIME same = base;
    same.wMilliseconds = 0;
    return same;
  }
  when += static_cast<std::time_t>(seconds);
  std::tm out{};
  if (localtime_r(&when, &out) == nullptr) {
    SYSTEMTIME same = base;
    same.wMilliseconds = 0;
    return same;
  }
  return FromTm(out, 0);
}

std::string FormatSystemTime(const SYSTEMTIME& t, bool withMilliseconds) {
  char text[48];
  if (withMilliseconds) {
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  } else {
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
  }
  return text;
}

std::optional<SYSTEMTIME> ParseSystemTime(const std::string& text) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  int used = 0;
  int n = std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%n", &y, &mo, &d, &h, &mi, &s, &used);
  if (n != 6) return std::nullopt;
  if (text.size() > static_cast<std::size_t>(used)) {
    int more = 0;
    if (std::sscanf(text.c_str() + used, ".%3u%n", &ms, &more) != 1 ||
        static_cast<std::size_t>(used + more) != text.size())
      return std::nullopt;
  }
  if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = static_cast<int>(y) - 1900;
  tm.tm_mon = static_cast<int>(mo) - 1;
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  std::mktime(&tm);
  SYSTEMTIME t;
  t.wYear = static_cast<uint16_t>(y);
  t.wMonth = static_cast<uint16_t>(mo);
  t.wDay = static_cast<uint16_t>(d);
  t.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  t.wHour = static_cast<uint16_t>(h);
  t.wMinute = static_cast<uint16_t>(mi);
  t.wSecond = static_cast<uint16_t>(s);
  t.wMilliseconds = static_cast<uint16_t>(ms);
  return t;
}

SYSTEMTIME LocalNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&secs, &tm);
  return FromTm(tm, static_cast<uint16_t>(ms));
}

}  // namespace tsv
