#include "formats/VsxLayout.h"

#include <algorithm>

#include "platform/ByteIO.h"

namespace tsv {

VsxFileHeader ParseVsxFileHeader(const uint8_t* b) {
  VsxFileHeader h;
  h.frameCount = GetU32LE(b);
  h.startTime = GetU32LE(b + 4);
  h.endTime = GetU32LE(b + 8);
  h.ipAddress = GetU32LE(b + 12);
  h.resolutionCode = b[16];
  h.recordStyle = b[17];
  std::copy_n(b + 18, h.reserved1.size(), h.reserved1.begin());
  h.fileTimestamp = ReadSystemTime(b + 48);
  h.reserved2 = GetU32LE(b + 64);
  h.magic = GetU32LE(b + 68);
  h.audioMode = b[72];
  h.sourceFormat = b[73];
  std::copy_n(b + 74, h.reserved3.size(), h.reserved3.begin());
  return h;
}

void SerializeVsxFileHeader(const VsxFileHeader& h, uint8_t* b) {
  PutU32LE(b, h.frameCount);
  PutU32LE(b + 4, h.startTime);
  PutU32LE(b + 8, h.endTime);
  PutU32LE(b + 12, h.ipAddress);
  b[16] = h.resolutionCode;
  b[17] = h.recordStyle;
  std::copy(h.reserved1.begin(), h.reserved1.end(), b + 18);
  WriteSystemTime(b + 48, h.fileTimestamp);
  PutU32LE(b + 64, h.reserved2);
  PutU32LE(b + 68, h.magic);
  b[72] = h.audioMode;
  b[73] = h.sourceFormat;
  std::copy(h.reserved3.begin(), h.reserved3.end(), b + 74);
}

RecIndexEntry ParseIndexEntry(const uint8_t* b) { return {GetU32LE(b), GetU32LE(b + 4)}; }

void SerializeIndexEntry(const RecIndexEntry& e, uint8_t* b) {
  PutU32LE(b, e.offset);
  PutU32LE(b + 4, e.type);
}

std::vector<uint8_t> SerializeIndexTail(const std::vector<RecIndexEntry>& index, uint32_t count) {
  std::vector<uint8_t> tail(index.size() * kIndexEntrySize + 4);
  for (std::size_t i = 0; i < index.size(); ++i) SerializeIndexEntry(index[i], tail.data() + i * kIndexEntrySize);
  PutU32LE(tail.data() + tail.size() - 4, count);
  return tail;
}

}  // namespace tsv
