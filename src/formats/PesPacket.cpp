#include "formats/PesPacket.h"

#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv {

std::size_t PacketPayloadOffset(const uint8_t* packet, std::size_t length) {
  if (length > 20 && (packet[20] & 0x7F) == kPacketLongHeadMark) return kPacketLongHead;
  return kPacketShortHead;
}

uint32_t Read22Bit(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0] & 0x7F) << 15) | (static_cast<uint32_t>(p[1] >> 4) << 11) |
         (static_cast<uint32_t>(p[1] & 0x07) << 8) | p[2];
}

void Write22Bit(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(0x80 | ((v >> 15) & 0x7F));
  p[1] = static_cast<uint8_t>((((v >> 11) & 0x0F) << 4) | 0x08 | ((v >> 8) & 0x07));
  p[2] = static_cast<uint8_t>(v);
}

uint32_t ReadPesStamp(const uint8_t* b) {
  return (static_cast<uint32_t>(b[0] >> 1) << 30) | (static_cast<uint32_t>(b[1]) << 22) |
         (static_cast<uint32_t>(b[2] >> 1) << 15) | (static_cast<uint32_t>(b[3]) << 7) | (b[4] >> 1);
}

void WritePesStamp(uint8_t* b, uint32_t stamp, uint8_t prefix) {
  const uint64_t s = stamp;
  b[0] = static_cast<uint8_t>((prefix << 4) | (((s >> 30) & 0x07) << 1) | 1);
  b[1] = static_cast<uint8_t>(s >> 22);
  b[2] = static_cast<uint8_t>((((s >> 15) & 0x7F) << 1) | 1);
  b[3] = static_cast<uint8_t>(s >> 7);
  b[4] = static_cast<uint8_t>(((s & 0x7F) << 1) | 1);
}

PesScan ScanPes(const uint8_t* p, std::size_t length, bool withHeaderQuery) {
  PesScan scan;
  uint32_t window = 0xFFFFFFFF;
  std::size_t i = 0;
  while (i < length) {
    window = (window << 8) | p[i];
    if ((window & 0xFFFFFF00) != 0x00000100) {
      ++i;
      continue;
    }
    const uint8_t id = p[i];
    const uint8_t nibble = id & 0xF0;
    if (nibble == kPictureStream || nibble == kJpegStream || nibble == kSoundStream) {
      if (i + 4 >= length) break;
      const unsigned stampBits = p[i + 4] >> 6;
      std::size_t at = 0;
      if (stampBits == 2) at = i + 6;
      else if (stampBits == 3) at = i + 11;
      if (at == 0) {
        ++i;
        continue;
      }
      if (at + 5 > length) break;
      scan.pts = ReadPesStamp(p + at);
      scan.found |= kPesFoundStamp;
      i += 5;
      window = 0xFFFFFFFF;
      continue;
    }
    if (id == 0xB6) {
      if (i + 1 < length) {
        scan.pictureType = (p[i + 1] >> 6) + 1u;
        scan.found |= kPesFoundPictureType;
      }
      return scan;
    }
    if (id == 0x00 && withHeaderQuery) {
      Mpeg4StreamBytes stream{p + i - 3, length - (i - 3)};
      uint32_t value = 0;
      if (Mpeg4DecoderEntry(1, kMpeg4HeaderQuery, &stream, &value, 720, 576, 0) == kMpeg4Ok) {
        scan.width = (value >> 12) & 0xFFF;
        scan.height = value & 0xFFF;
        scan.found |= kPesFoundSize;
      }
    }
    ++i;
  }
  return scan;
}

}  // namespace tsv
