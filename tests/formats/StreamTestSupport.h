// Helpers for the stream conversion tests: sources and outputs in memory,
// hand-made stream packets, and a ".vs4" file taken apart into its header,
// frames and index.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/PesPacket.h"
#include "formats/StreamConverter.h"
#include "formats/StreamPacket.h"
#include "formats/VsxLayout.h"
#include "platform/ByteIO.h"
#include "synth/PacketBuilder.h"

namespace tsv::test {

class MemoryInput final : public StreamInput {
 public:
  explicit MemoryInput(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  long long ReadAt(uint64_t pos, uint8_t* out, std::size_t size) override {
    if (pos >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - static_cast<std::size_t>(pos));
    std::memcpy(out, bytes_.data() + pos, n);
    return static_cast<long long>(n);
  }
  uint64_t Size() const override { return bytes_.size(); }

 private:
  const std::vector<uint8_t>& bytes_;
};

class MemoryOutput final : public VsxOutput {
 public:
  bool Begin(const SYSTEMTIME& firstFrameTime, std::string*) override {
    ++begun;
    firstTime = firstFrameTime;
    return true;
  }
  bool Write(const uint8_t* data, std::size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
  bool WriteHeaderAgain(const uint8_t* header, std::size_t size) override {
    if (bytes.size() < size) return false;
    std::memcpy(bytes.data(), header, size);
    return true;
  }
  bool Finish(std::string*) override {
    finished = true;
    return true;
  }
  std::vector<uint8_t> bytes;
  SYSTEMTIME firstTime;
  int begun = 0;
  bool finished = false;
};

// Converts bytes in memory; the output is empty unless the conversion
// finished.
inline ConvertReport ConvertBytes(const std::vector<uint8_t>& source, StreamKind kind, std::vector<uint8_t>* vs4,
                                  std::size_t readBlock = kConvertReadBlock, std::vector<int>* progress = nullptr) {
  MemoryInput input(source);
  MemoryOutput output;
  ConvertSettings settings;
  settings.kind = kind;
  if (kind == StreamKind::Mp4 && source.size() >= kStreamHeadSize) settings.head = ParseStreamHead(source.data());
  settings.readBlock = readBlock;
  std::atomic<bool> stop{false};
  const ProgressFn fn = [progress](int percent) {
    if (progress != nullptr) progress->push_back(percent);
  };
  const ConvertReport report = ConvertStream(input, settings, output, stop, fn);
  vs4->clear();
  if (output.finished) *vs4 = output.bytes;
  return report;
}

// A stream packet in plain byte order: head with time stamp, data, and
// optionally the packed local time; odd packets get a zero byte as the
// recorders keep packets on whole words.
inline std::vector<uint8_t> PlainPacket(uint8_t streamByte, uint32_t pts, const std::vector<uint8_t>& data,
                                        const std::optional<SYSTEMTIME>& packedTime = std::nullopt) {
  PacketHead head;
  head.streamByte = streamByte;
  head.pts = pts;
  head.packedTime = packedTime;
  std::vector<uint8_t> packet;
  if (streamByte == 0xC0) BuildSoundPacket(head, data.data(), data.size(), &packet);
  else BuildPicturePacket(head, data.data(), data.size(), &packet);
  if (packet.size() % 2 != 0) {
    packet.push_back(0);
    Write22Bit(packet.data() + kPacketLengthAt, static_cast<uint32_t>(packet.size()));
  }
  return packet;
}

// The same packet as a stream stores it.
inline std::vector<uint8_t> Stored(std::vector<uint8_t> plain) {
  SwapWords(plain.data(), plain.data(), plain.size() & ~std::size_t{1});
  return plain;
}

// Picture data: a key picture starts with the video object start code; the
// picture start code 00 00 01 B6 carries the coding type in its top bits
// (0 I, 1 P, 2 B, 3 S).
inline std::vector<uint8_t> PictureData(bool withStreamHeaders, int codingType, std::size_t size = 40) {
  std::vector<uint8_t> d;
  if (withStreamHeaders) d = {0x00, 0x00, 0x01, 0x00};
  d.insert(d.end(), {0x00, 0x00, 0x01, 0xB6, static_cast<uint8_t>(codingType << 6)});
  while (d.size() < size) d.push_back(0x5A);
  return d;
}

struct Vs4Frame {
  RecIndexEntry entry;
  FrameInfo info;
  std::vector<uint8_t> payload;
};

struct Vs4File {
  bool ok = false;
  VsxFileHeader header;
  std::vector<Vs4Frame> frames;
};

// Takes a ".vs4" file apart through its index; ok only when every index
// entry points at a frame header inside the file and the frames lie back to
// back from byte 76 up to the index.
inline Vs4File ParseVs4(const std::vector<uint8_t>& b) {
  Vs4File f;
  if (b.size() < kVsxHeaderSize + 4) return f;
  f.header = ParseVsxFileHeader(b.data());
  const uint32_t count = GetU32LE(b.data() + b.size() - 4);
  const uint64_t indexAt = b.size() - 4 - static_cast<uint64_t>(count) * kIndexEntrySize;
  if (static_cast<uint64_t>(count) * kIndexEntrySize > b.size() - 4 - kVsxHeaderSize) return f;
  uint64_t expected = kVsxHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    Vs4Frame frame;
    frame.entry = ParseIndexEntry(b.data() + indexAt + i * kIndexEntrySize);
    if (frame.entry.offset != expected || expected + kFrameInfoSize > indexAt) return f;
    frame.info = ParseFrameInfo(b.data() + expected);
    const uint64_t payloadAt = expected + kFrameInfoSize;
    if (frame.info.payloadSize > indexAt - payloadAt) return f;
    frame.payload.assign(b.begin() + static_cast<std::ptrdiff_t>(payloadAt),
                         b.begin() + static_cast<std::ptrdiff_t>(payloadAt + frame.info.payloadSize));
    expected = payloadAt + frame.info.payloadSize;
    f.frames.push_back(std::move(frame));
  }
  f.ok = expected == indexAt;
  return f;
}

}  // namespace tsv::test
