#include "formats/StreamPacket.h"

#include <cstring>

#include "platform/ByteIO.h"

namespace tsv {

StreamHead ParseStreamHead(const uint8_t* b) {
  StreamHead h;
  h.version = GetU16LE(b);
  h.channel = b[2];
  h.reserved1 = b[3];
  h.ipAddress = GetU32LE(b + 4);
  h.startTime = ReadSystemTime(b + 8);
  h.reserved2 = GetU32LE(b + 24);
  return h;
}

void SerializeStreamHead(const StreamHead& h, uint8_t* b) {
  PutU16LE(b, h.version);
  b[2] = h.channel;
  b[3] = h.reserved1;
  PutU32LE(b + 4, h.ipAddress);
  WriteSystemTime(b + 8, h.startTime);
  PutU32LE(b + 24, h.reserved2);
}

void SwapWords(const uint8_t* in, uint8_t* out, std::size_t size) {
  // Eight words at a time: a rotation by 8 bits of each 16-bit lane.
  using Lanes = uint16_t __attribute__((vector_size(16)));
  std::size_t i = 0;
  for (; i + sizeof(Lanes) <= size; i += sizeof(Lanes)) {
    Lanes x;
    std::memcpy(&x, in + i, sizeof x);
    x = static_cast<Lanes>((x << 8) | (x >> 8));
    std::memcpy(out + i, &x, sizeof x);
  }
  for (; i + 1 < size; i += 2) {
    const uint8_t first = in[i];
    out[i] = in[i + 1];
    out[i + 1] = first;
  }
}

std::optional<uint16_t> DayOfWeek(uint16_t year, uint16_t month, uint16_t day) {
  static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1]) return std::nullopt;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return std::nullopt;
  // Sakamoto's method: counts from a March-based year.
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int y = month < 3 ? year - 1 : year;
  return static_cast<uint16_t>((y + y / 4 - y / 100 + y / 400 + kOffsets[month - 1] + day) % 7);
}

SYSTEMTIME UnpackFrameTime(const uint8_t* b) {
  const uint32_t w = (static_cast<uint32_t>(b[1]) << 24) | (static_cast<uint32_t>(b[2]) << 16) |
                     (static_cast<uint32_t>(b[3]) << 8) | b[4];
  SYSTEMTIME t;
  t.wSecond = static_cast<uint16_t>(b[4] & 63);
  t.wMinute = static_cast<uint16_t>((w >> 6) & 63);
  t.wHour = static_cast<uint16_t>((w >> 12) & 31);
  t.wDay = static_cast<uint16_t>((w >> 17) & 31);
  t.wMonth = static_cast<uint16_t>((w >> 22) & 15);
  t.wYear = static_cast<uint16_t>(2000 + (w >> 26) + ((b[0] & 0x10) != 0 ? 128 : 0));
  t.wDayOfWeek = DayOfWeek(t.wYear, t.wMonth, t.wDay).value_or(0);
  return t;
}

}  // namespace tsv
