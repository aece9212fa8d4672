#include "formats/QrvLayout.h"

#include <algorithm>

#include "platform/ByteIO.h"

namespace tsv {

QrvFileHeader ParseQrvFileHeader(const uint8_t* b) {
  QrvFileHeader h;
  std::copy_n(b, h.reserved1.size(), h.reserved1.begin());
  h.startTimestamp = ReadSystemTime(b + 24);
  h.startTime = GetU32LE(b + 40);
  h.endTime = GetU32LE(b + 44);
  h.frameCount = GetU32LE(b + 48);
  h.ipAddress = GetU32LE(b + 52);
  std::copy_n(b + 56, h.reserved2.size(), h.reserved2.begin());
  h.streamType = b[58];
  h.recordStyle = b[59];
  std::copy_n(b + 60, h.reserved3.size(), h.reserved3.begin());
  return h;
}

void SerializeQrvFileHeader(const QrvFileHeader& h, uint8_t* b) {
  std::copy(h.reserved1.begin(), h.reserved1.end(), b);
  WriteSystemTime(b + 24, h.startTimestamp);
  PutU32LE(b + 40, h.startTime);
  PutU32LE(b + 44, h.endTime);
  PutU32LE(b + 48, h.frameCount);
  PutU32LE(b + 52, h.ipAddress);
  std::copy(h.reserved2.begin(), h.reserved2.end(), b + 56);
  b[58] = h.streamType;
  b[59] = h.recordStyle;
  std::copy(h.reserved3.begin(), h.reserved3.end(), b + 60);
}

std::size_t ParseQrvFrameHeader(const uint8_t* b, std::size_t length, QrvFrameHeader* out) {
  std::size_t pos = 0;
  auto need = [&](std::size_t n) { return pos + n <= length; };
  if (!need(4)) return 0;
  QrvFrameHeader h = *out;
  h.flags = GetU32LE(b);
  pos = 4;
  if (h.flags & kQrvHasFrameNumber) {
    if (!need(4)) return 0;
    h.frameNumber = GetU32LE(b + pos);
    pos += 4;
  }
  if (h.flags & kQrvHasPayloadSize) {
    if (!need(4)) return 0;
    h.payloadSize = GetU32LE(b + pos);
    pos += 4;
  }
  if (h.flags & kQrvHasWidth) {
    if (!need(2)) return 0;
    h.width = GetU16LE(b + pos);
    pos += 2;
  }
  if (h.flags & kQrvHasHeight) {
    if (!need(2)) return 0;
    h.height = GetU16LE(b + pos);
    pos += 2;
  }
  if (h.flags & kQrvHasFrameTime) {
    if (!need(4)) return 0;
    h.frameTime = GetU32LE(b + pos);
    pos += 4;
  }
  for (auto [bit, field] : {std::pair{kQrvHasChannel, &h.channel}, std::pair{kQrvHasExtra1, &h.extra1},
                            std::pair{kQrvHasExtra2, &h.extra2}}) {
    if (h.flags & bit) {
      if (!need(1)) return 0;
      *field = b[pos++];
    }
  }
  if (!need(2) || GetU16LE(b + pos) != kQrvTerminator) return 0;
  *out = h;
  return pos + 2;
}

std::size_t SerializeQrvFrameHeader(const QrvFrameHeader& h, uint8_t* b) {
  std::size_t pos = 0;
  PutU32LE(b, h.flags);
  pos = 4;
  if (h.flags & kQrvHasFrameNumber) PutU32LE(b + pos, h.frameNumber), pos += 4;
  if (h.flags & kQrvHasPayloadSize) PutU32LE(b + pos, h.payloadSize), pos += 4;
  if (h.flags & kQrvHasWidth) PutU16LE(b + pos, h.width), pos += 2;
  if (h.flags & kQrvHasHeight) PutU16LE(b + pos, h.height), pos += 2;
  if (h.flags & kQrvHasFrameTime) PutU32LE(b + pos, h.frameTime), pos += 4;
  if (h.flags & kQrvHasChannel) b[pos++] = h.channel;
  if (h.flags & kQrvHasExtra1) b[pos++] = h.extra1;
  if (h.flags & kQrvHasExtra2) b[pos++] = h.extra2;
  PutU16LE(b + pos, kQrvTerminator);
  return pos + 2;
}

uint32_t QrvElapsedMs(uint32_t frameTime, uint32_t startTime) {
  return frameTime >= startTime ? frameTime - startTime : startTime - frameTime - 1;
}

bool IsQrvKeyType(uint32_t type) { return type == kQrvKeyFrame || type == kQrvKeyFrameAlt; }

}  // namespace tsv
