// Wall-clock times as the recorders store them: eight 16-bit words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tsv {

struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;

  bool operator==(const SYSTEMTIME&) const = default;
};

constexpr std::size_t kSystemTimeSize = 16;

SYSTEMTIME ReadSystemTime(const uint8_t* p);
void WriteSystemTime(uint8_t* p, const SYSTEMTIME& t);

// Adds whole seconds to a local time; the calendar and daylight saving are
// the system's (the recorders stamp local time). Milliseconds become 0 and
// the day of week is recomputed. An unrepresentable input is returned with
// only its milliseconds cleared.
SYSTEMTIME AddSecondsLocal(const SYSTEMTIME& base, uint32_t seconds);

// "YYYY-MM-DD hh:mm:ss" and, with milliseconds, "YYYY-MM-DD hh:mm:ss.mmm".
std::string FormatSystemTime(const SYSTEMTIME& t, bool withMilliseconds);

// Parses "YYYY-MM-DD hh:mm:ss" (optionally ".mmm"); fills the day of week.
std::optional<SYSTEMTIME> ParseSystemTime(const std::string& text);

// The current local time, milliseconds included.
SYSTEMTIME LocalNow();

}  // namespace tsv
