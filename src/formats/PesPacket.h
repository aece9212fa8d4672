// Stream packets as the recorders write them: 00 00 01 and a stream byte,
// an MPEG-2 PES header with the time stamp, two 22-bit numbers with marker
// bits (the second is the packet's total length), and the payload at byte
// 32, or at byte 104 when byte 20 without its top bit is 83.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsv {

constexpr uint8_t kPictureStream = 0xE0;  // low nibble: channel
constexpr uint8_t kJpegStream = 0xD0;
constexpr uint8_t kSoundStream = 0xC0;

constexpr std::size_t kPacketShortHead = 32;
constexpr std::size_t kPacketLongHead = 104;
constexpr uint8_t kPacketLongHeadMark = 83;  // byte 20, top bit ignored
constexpr std::size_t kSoundPacketHead = 64;  // ADPCM data follows this head

// Offset of the payload in a picture packet of `length` bytes (32 or 104);
// 32 when the packet is too short to carry the mark.
std::size_t PacketPayloadOffset(const uint8_t* packet, std::size_t length);

// The 22-bit number at p[0..2] and its inverse.
uint32_t Read22Bit(const uint8_t* p);
void Write22Bit(uint8_t* p, uint32_t value);

// The five time-stamp bytes of a PES header as a 32-bit value (the top bit
// of the 33-bit stamp is lost), and its inverse with marker bits.
uint32_t ReadPesStamp(const uint8_t* p);
void WritePesStamp(uint8_t* p, uint32_t stamp, uint8_t prefix);

// Results of a PES scan; bits of `found`.
constexpr uint32_t kPesFoundStamp = 1;
constexpr uint32_t kPesFoundSize = 2;
constexpr uint32_t kPesFoundPictureType = 8;

struct PesScan {
  uint32_t found = 0;
  uint32_t pts = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pictureType = 0;  // 1 I, 2 P, 3 B, 4 S
};

// Scans a payload for PES time stamps and the first MPEG-4 picture start.
// With withHeaderQuery, a video object start code also yields the picture
// size from the video object layer header behind it. Reads only within
// [payload, payload + length).
PesScan ScanPes(const uint8_t* payload, std::size_t length, bool withHeaderQuery);

}  // namespace tsv
