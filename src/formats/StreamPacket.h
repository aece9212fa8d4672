// Raw recorder streams: ".mp4" stream files (a 28-byte head, then packets),
// ".QRV" streams (packets only) and the sectors of recorder discs. The
// recorders store every 16-bit word byte-reversed, so a packet that starts
// 00 00 01 E0 reads 00 00 E0 01 in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/SystemTime.h"

namespace tsv {

// The head of a ".mp4" stream file, stored as it stands (not byte-swapped).
struct StreamHead {
  uint16_t version = 1;  // 1: MPEG-4 pictures; anything else is refused
  uint8_t channel = 0;
  uint8_t reserved1 = 0;
  uint32_t ipAddress = 0;  // lowest byte is the first number of the dotted form
  SYSTEMTIME startTime;    // local time of the first packet
  uint32_t reserved2 = 0;

  bool operator==(const StreamHead&) const = default;
};

constexpr std::size_t kStreamHeadSize = 28;
constexpr uint16_t kStreamVersionMpeg4 = 1;

StreamHead ParseStreamHead(const uint8_t* bytes);
void SerializeStreamHead(const StreamHead& head, uint8_t* bytes);

// Bytes 24..26 of a packet hold its total length; a packet is never
// shorter than its 32-byte head.
constexpr std::size_t kPacketLengthAt = 24;
constexpr std::size_t kPacketMinLength = 32;
// Bytes 27..31 of a ".QRV" packet hold the local time it was recorded.
constexpr std::size_t kPackedTimeAt = 27;

// A stream byte that starts a packet: 0xE0..0xEF pictures (low nibble the
// channel), 0xC0 sound, 0xD0 JPEG pictures.
inline bool IsPacketStreamByte(uint8_t b) { return (b & 0xF0) == 0xE0 || b == 0xC0 || b == 0xD0; }

// A packet start as it reads in the file: 00 00 xx 01 with a stream byte xx.
inline bool IsStoredPacketStart(const uint8_t* p) {
  return p[0] == 0 && p[1] == 0 && p[3] == 1 && IsPacketStreamByte(p[2]);
}

// Copies `size` bytes (even) from stored to plain order, swapping each
// 16-bit word; in and out may be the same buffer.
void SwapWords(const uint8_t* in, uint8_t* out, std::size_t size);

// The local time packed into bytes 27..31 of a ".QRV" packet: with w the
// big-endian word of bytes 28..31, second = byte 31 & 63, minute =
// w >> 6 & 63, hour = w >> 12 & 31, day = w >> 17 & 31, month = w >> 22 & 15,
// year = 2000 + (w >> 26), plus 128 when bit 4 of byte 27 is set. The day
// of week is computed from the date (0 when the date is not a real one);
// milliseconds are 0.
SYSTEMTIME UnpackFrameTime(const uint8_t* bytes);

// 0 Sunday .. 6 Saturday, or none for a month or day out of range.
std::optional<uint16_t> DayOfWeek(uint16_t year, uint16_t month, uint16_t day);

}  // namespace tsv
