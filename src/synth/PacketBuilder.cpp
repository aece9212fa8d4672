#include "synth/PacketBuilder.h"

#include <cstring>

#include "formats/PesPacket.h"

namespace tsv {

namespace {

constexpr uint8_t kStuffing = 0xFF;
constexpr uint8_t kPesMarker = 0x80;        // byte 6: '10', no scrambling, no flags
constexpr uint8_t kPtsOnly = 0x80;          // byte 7
constexpr uint8_t kPtsAndDts = 0xC0;
constexpr uint8_t kPtsPrefixAlone = 0x2;    // '0010' before a lone PTS
constexpr uint8_t kPtsPrefixWithDts = 0x3;  // '0011' before a PTS followed by a DTS
constexpr uint8_t kDtsPrefix = 0x1;         // '0001'
constexpr std::size_t kPtsAt = 9;
constexpr std::size_t kDtsAt = 14;
constexpr std::size_t kLongHeadMarkAt = 20;
constexpr std::size_t kDataLengthAt = 21;
constexpr std::size_t kTotalLengthAt = 24;
constexpr std::size_t kPackedTimeAt = 27;
constexpr std::size_t kPesHeaderDataAt = 9;  // byte 8 counts the header bytes from here on

bool Build(const PacketHead& head, std::size_t headSize, const uint8_t* data, std::size_t size,
           std::vector<uint8_t>* packet) {
  const std::size_t total = headSize + size;
  if (total > kMaxPacketLength) return false;
  packet->assign(total, kStuffing);
  uint8_t* p = packet->data();
  p[0] = 0x00;
  p[1] = 0x00;
  p[2] = 0x01;
  p[3] = head.streamByte;
  // PES packet length: bytes after this field, 0 (unbounded) when too long.
  const std::size_t pesLength = total - 6 <= 0xFFFF ? total - 6 : 0;
  p[4] = static_cast<uint8_t>(pesLength >> 8);
  p[5] = static_cast<uint8_t>(pesLength);
  p[6] = kPesMarker;
  p[7] = head.withDts ? kPtsAndDts : kPtsOnly;
  p[8] = static_cast<uint8_t>(headSize - kPesHeaderDataAt);
  WritePesStamp(p + kPtsAt, head.pts, head.withDts ? kPtsPrefixWithDts : kPtsPrefixAlone);
  if (head.withDts) WritePesStamp(p + kDtsAt, head.pts, kDtsPrefix);
  if (headSize == kPacketLongHead)
    p[kLongHeadMarkAt] = static_cast<uint8_t>(kPacketLongHeadMark | (head.longHeadTopBit ? 0x80 : 0));
  Write22Bit(p + kDataLengthAt, static_cast<uint32_t>(size));
  Write22Bit(p + kTotalLengthAt, static_cast<uint32_t>(total));
  if (head.packedTime) PackFrameTime(*head.packedTime, p + kPackedTimeAt);
  if (size > 0) std::memcpy(p + headSize, data, size);
  return true;
}

}  // namespace

bool BuildPicturePacket(const PacketHead& head, const uint8_t* data, std::size_t size, std::vector<uint8_t>* packet) {
  return Build(head, head.longHead ? kPacketLongHead : kPacketShortHead, data, size, packet);
}

bool BuildSoundPacket(const PacketHead& head, const uint8_t* adpcm, std::size_t size, std::vector<uint8_t>* packet) {
  PacketHead sound = head;
  sound.longHead = false;
  return Build(sound, kSoundPacketHead, adpcm, size, packet);
}

bool PackFrameTime(const SYSTEMTIME& t, uint8_t* b) {
  if (t.wYear < 2000) return false;
  uint32_t year = t.wYear - 2000u;
  bool highYear = false;
  if (year >= 128) {
    highYear = true;
    year -= 128;
  }
  if (year >= 64) return false;
  const uint32_t w = (year << 26) | ((t.wMonth & 15u) << 22) | ((t.wDay & 31u) << 17) | ((t.wHour & 31u) << 12) |
                     ((t.wMinute & 63u) << 6) | (t.wSecond & 63u);
  // Bits of byte 27 other than bit 4 carry nothing; they stay stuffing.
  b[0] = static_cast<uint8_t>(highYear ? 0xFF : 0xEF);
  b[1] = static_cast<uint8_t>(w >> 24);
  b[2] = static_cast<uint8_t>(w >> 16);
  b[3] = static_cast<uint8_t>(w >> 8);
  b[4] = static_cast<uint8_t>(w);
  return true;
}

}  // namespace tsv
