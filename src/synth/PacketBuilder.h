// Builds frame payloads the way the recorders packetise them: 00 00 01 and
// a stream byte, an MPEG-2 PES header carrying the 90 kHz time stamp, two
// 22-bit numbers with marker bits at bytes 21..23 (the data length) and
// 24..26 (the packet's total length), then the data at byte 32, at byte 104
// in the long-head variant (byte 20 = 83), or at byte 64 for sound. The
// remaining head bytes are 0xFF stuffing, so the head holds no stray start
// code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/SystemTime.h"

namespace tsv {

struct PacketHead {
  uint8_t streamByte = 0xE0;  // 0xE0 | channel MPEG-4, 0xD0 JPEG, 0xC0 sound
  uint32_t pts = 0;           // 90 kHz: frame time in ms x 90
  bool withDts = false;       // also a decoding time stamp, equal to pts
  bool longHead = false;      // picture data at byte 104 instead of 32
  bool longHeadTopBit = false;  // byte 20 written as 83 | 0x80
  // The local time packed into bytes 27..31, as raw ".QRV" streams carry
  // it; left as stuffing when empty or not representable.
  std::optional<SYSTEMTIME> packedTime;
};

// Largest total length the 22-bit length field holds.
constexpr std::size_t kMaxPacketLength = 0x3FFFFF;

// A picture packet: the head, then `size` bytes of picture data. False when
// the packet would be longer than the length field can say.
bool BuildPicturePacket(const PacketHead& head, const uint8_t* data, std::size_t size, std::vector<uint8_t>* packet);

// A sound packet: a 64-byte head, then the ADPCM data.
bool BuildSoundPacket(const PacketHead& head, const uint8_t* adpcm, std::size_t size, std::vector<uint8_t>* packet);

// Packs a local time into the five bytes 27..31 of a ".QRV" packet: with w
// the big-endian word of bytes 28..31, second = w & 63, minute = w >> 6 & 63,
// hour = w >> 12 & 31, day = w >> 17 & 31, month = w >> 22 & 15, and the
// year's offset from 2000 in w >> 26, plus 128 when bit 4 of byte 27 is set.
// False (bytes untouched) for a year the layout cannot hold.
bool PackFrameTime(const SYSTEMTIME& time, uint8_t* bytes);

}  // namespace tsv
