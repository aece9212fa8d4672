// Small recordings built byte by byte for the reader and writer tests:
// ".vs4" and ".vse" files from a header, frames and an index, recorder
// packets with hand-encoded PES time stamps, and a video object layer
// header carrying a picture size.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/CRecFile.h"
#include "formats/FrameInfo.h"
#include "formats/MessageSink.h"
#include "formats/QrvLayout.h"
#include "formats/VsxLayout.h"
#include "platform/ByteIO.h"
#include "platform/SystemTime.h"

namespace tsv::test {

// Frame timestamps are local time; the tests reason in UTC.
inline void UseUtc() {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
}

// Keeps every text a reader sends, so a test can tell a shown message from
// a silent failure.
class RecordingSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override { shown.emplace_back(text); }
  void Log(std::string_view text) override { logged.emplace_back(text); }
  std::vector<std::string> shown;
  std::vector<std::string> logged;
};

inline SYSTEMTIME Time(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                       uint16_t second, uint16_t ms = 0, uint16_t dayOfWeek = 0) {
  SYSTEMTIME t;
  t.wYear = year;
  t.wMonth = month;
  t.wDayOfWeek = dayOfWeek;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  t.wMilliseconds = ms;
  return t;
}

inline void Append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
inline void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
inline void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
  uint8_t b[2];
  PutU16LE(b, v);
  out.insert(out.end(), b, b + 2);
}
inline void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  PutU32LE(b, v);
  out.insert(out.end(), b, b + 4);
}

// ---------------------------------------------------------------------------
// Recorder packets.

// The five bytes of a 33-bit MPEG-2 time stamp: 4-bit prefix, bits 32..30,
// marker, bits 29..15, marker, bits 14..0, marker.
inline std::vector<uint8_t> PesStampBytes(uint64_t stamp, uint8_t prefix) {
  return {static_cast<uint8_t>((prefix << 4) | (((stamp >> 30) & 0x07) << 1) | 1),
          static_cast<uint8_t>(stamp >> 22), static_cast<uint8_t>((((stamp >> 15) & 0x7F) << 1) | 1),
          static_cast<uint8_t>(stamp >> 7), static_cast<uint8_t>(((stamp & 0x7F) << 1) | 1)};
}

// A 22-bit number with its two marker bits: 1, bits 21..15 | bits 14..11,
// 1, bits 10..8 | bits 7..0.
inline std::vector<uint8_t> Number22Bytes(uint32_t v) {
  return {static_cast<uint8_t>(0x80 | ((v >> 15) & 0x7F)),
          static_cast<uint8_t>((((v >> 11) & 0x0F) << 4) | 0x08 | ((v >> 8) & 0x07)), static_cast<uint8_t>(v)};
}

struct PacketFields {
  uint8_t stream = 0xE0;
  std::optional<uint64_t> pts;
  std::optional<uint64_t> dts;  // only with pts
  bool longHead = false;        // payload at 104 instead of 32
};

// 00 00 01 stream, PES length, 0x80, flags at 7, header length at 8, PTS at
// 9 and DTS at 14, the long-head mark at 20, two 22-bit numbers at 21 and
// 24 (the second the packet's total length), the data at 32 or 104.
inline std::vector<uint8_t> Packet(const PacketFields& fields, const std::vector<uint8_t>& data) {
  const std::size_t head = fields.longHead ? 104 : 32;
  std::vector<uint8_t> p(head, 0);
  p[2] = 0x01;
  p[3] = fields.stream;
  p[6] = 0x80;
  if (fields.pts) {
    p[7] = fields.dts ? 0xC0 : 0x80;
    p[8] = fields.dts ? 10 : 5;
    const auto pts = PesStampBytes(*fields.pts, fields.dts ? 3 : 2);
    std::copy(pts.begin(), pts.end(), p.begin() + 9);
    if (fields.dts) {
      const auto dts = PesStampBytes(*fields.dts, 1);
      std::copy(dts.begin(), dts.end(), p.begin() + 14);
    }
  }
  p[20] = fields.longHead ? 83 : 0;
  const auto second = Number22Bytes(static_cast<uint32_t>(data.size()));
  std::copy(second.begin(), second.end(), p.begin() + 21);
  const auto total = Number22Bytes(static_cast<uint32_t>(head + data.size()));
  std::copy(total.begin(), total.end(), p.begin() + 24);
  Append(p, data);
  return p;
}

// MPEG-4 picture start code with a picture type (1 I, 2 P, 3 B, 4 S) and a
// couple of bytes of picture data.
inline std::vector<uint8_t> PictureStart(uint32_t type) {
  return {0x00, 0x00, 0x01, 0xB6, static_cast<uint8_t>((type - 1) << 6), 0x5A, 0xA5};
}

// Video object start code and a video object layer header of the simple
// profile, rectangular, with the given picture size.
inline std::vector<uint8_t> VideoObjectHeader(uint32_t width, uint32_t height) {
  std::vector<uint8_t> out{0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20};
  std::vector<bool> bits;
  auto put = [&](uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits.push_back(((value >> i) & 1u) != 0);
  };
  put(0, 1);      // random_accessible_vol
  put(1, 8);      // simple object
  put(0, 1);      // no object layer identifier
  put(1, 4);      // square pixels
  put(0, 1);      // no control parameters
  put(0, 2);      // rectangular
  put(1, 1);      // marker
  put(25, 16);    // time increment resolution
  put(1, 1);      // marker
  put(0, 1);      // no fixed rate
  put(1, 1);      // marker
  put(width, 13);
  put(1, 1);  // marker
  put(height, 13);
  put(1, 1);  // marker
  put(0, 1);  // not interlaced
  put(1, 1);  // obmc disabled
  put(0, 1);  // no sprite
  put(0, 1);  // 8 bit
  put(0, 1);  // H.263 quantisation
  bits.push_back(false);  // stuffing: a 0, then 1s to the byte boundary
  while (bits.size() % 8 != 0) bits.push_back(true);
  for (std::size_t i = 0; i < bits.size(); i += 8) {
    uint8_t b = 0;
    for (std::size_t k = 0; k < 8; ++k) b = static_cast<uint8_t>((b << 1) | (bits[i + k] ? 1 : 0));
    out.push_back(b);
  }
  return out;
}

// A picture packet with a time stamp whose data is a few bytes that name
// the frame (so a test can tell payloads apart).
inline std::vector<uint8_t> TaggedPacket(uint32_t pts, uint8_t tag, uint8_t stream = 0xE0) {
  return Packet({stream, pts, std::nullopt, false}, {tag, static_cast<uint8_t>(~tag), 0x11, tag});
}

// ---------------------------------------------------------------------------
// ".vs4" files.

inline VsxFileHeader SampleVsxHeader() {
  VsxFileHeader h;
  h.startTime = 1000;
  h.endTime = 1010;
  h.ipAddress = 0x1401A8C0;  // 192.168.1.20
  h.resolutionCode = 12;
  h.recordStyle = 2;
  for (std::size_t i = 0; i < h.reserved1.size(); ++i) h.reserved1[i] = static_cast<uint8_t>(0xA0 + i);
  h.fileTimestamp = Time(2005, 3, 5, 10, 15, 30, 250, 6);
  h.reserved2 = 0xCAFEF00D;
  h.magic = kMpeg4Magic;
  h.audioMode = 0;
  h.sourceFormat = 0;
  h.reserved3 = {0x5A, 0xA5};
  return h;
}

inline FrameInfo SampleFrameInfo(uint32_t number) {
  FrameInfo f;
  f.frameNumber = number;
  f.timerInterval = 40;
  f.formatTag = kMpeg4Magic;
  f.resolutionCode = 12;
  f.channel = 2;
  f.reserve = 0x1000 + number;
  f.timestamp = Time(2005, 3, 5, 10, 15, static_cast<uint16_t>(30 + number / 25),
                     static_cast<uint16_t>(number % 25 * 40), 6);
  f.adpcm = {number % 89, 1000 + number};
  return f;
}

class VsxBuilder {
 public:
  VsxFileHeader header = SampleVsxHeader();
  // Filled by Add; tests may edit it before Bytes().
  std::vector<RecIndexEntry> index;
  std::vector<FrameInfo> infos;
  std::vector<std::vector<uint8_t>> payloads;
  // When set, the header frame count is written as given instead of N.
  std::optional<uint32_t> frameCount;

  // Appends a frame; its payload size is the payload's length.
  void Add(FrameInfo info, const std::vector<uint8_t>& payload, uint32_t type) {
    info.payloadSize = static_cast<uint32_t>(payload.size());
    index.push_back({next_, type});
    infos.push_back(info);
    payloads.push_back(payload);
    next_ += static_cast<uint32_t>(kFrameInfoSize + payload.size());
  }

  // Frames numbered 1..types.size() with tagged packets, one per type.
  void AddFrames(const std::vector<uint32_t>& types) {
    for (uint32_t type : types) {
      const uint32_t number = static_cast<uint32_t>(infos.size()) + 1;
      const uint8_t stream = type == kVsxAudioFrame ? 0xC0 : 0xE0;
      Add(SampleFrameInfo(number), TaggedPacket(number * 3600, static_cast<uint8_t>(number), stream), type);
    }
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out(kVsxHeaderSize);
    VsxFileHeader h = header;
    h.frameCount = frameCount.value_or(static_cast<uint32_t>(index.size()));
    SerializeVsxFileHeader(h, out.data());
    for (std::size_t i = 0; i < infos.size(); ++i) {
      uint8_t b[kFrameInfoSize];
      SerializeFrameInfo(infos[i], b);
      out.insert(out.end(), b, b + kFrameInfoSize);
      Append(out, payloads[i]);
    }
    for (const RecIndexEntry& e : index) {
      AppendU32(out, e.offset);
      AppendU32(out, e.type);
    }
    AppendU32(out, static_cast<uint32_t>(index.size()));
    return out;
  }

 private:
  uint32_t next_ = kVsxHeaderSize;
};

// ---------------------------------------------------------------------------
// ".vse" files.

inline QrvFileHeader SampleQrvHeader(uint8_t streamType) {
  QrvFileHeader h;
  for (std::size_t i = 0; i < h.reserved1.size(); ++i) h.reserved1[i] = static_cast<uint8_t>(0x30 + i);
  h.startTimestamp = Time(2005, 3, 5, 10, 15, 30, 0, 6);
  h.startTime = 50000;
  h.endTime = 53500;
  h.ipAddress = 0x0A00000A;  // 10.0.0.10
  h.reserved2 = {0x77, 0x88};
  h.streamType = streamType;
  h.recordStyle = 1;
  for (std::size_t i = 0; i < h.reserved3.size(); ++i) h.reserved3[i] = static_cast<uint8_t>(0xC0 + i);
  return h;
}

constexpr uint32_t kQrvAllBasicFields =
    kQrvHasFrameNumber | kQrvHasPayloadSize | kQrvHasWidth | kQrvHasHeight | kQrvHasFrameTime | kQrvHasChannel;

inline QrvFrameHeader SampleQrvFrame(uint32_t number, uint32_t frameTime) {
  QrvFrameHeader f;
  f.flags = kQrvAllBasicFields;
  f.frameNumber = number;
  f.width = 352;
  f.height = 288;
  f.frameTime = frameTime;
  f.channel = 1;
  return f;
}

class QrvBuilder {
 public:
  explicit QrvBuilder(uint8_t streamType = kQrvStreamMpeg4KeyRef) : header(SampleQrvHeader(streamType)) {}

  QrvFileHeader header;
  std::vector<RecIndexEntry> index;
  std::vector<std::vector<uint8_t>> frames;  // header bytes and payload
  std::optional<uint32_t> frameCount;
  uint16_t terminator = kQrvTerminator;

  // Appends a frame whose header is written as given (a present payload
  // size field is set to the payload's length).
  void Add(QrvFrameHeader h, const std::vector<uint8_t>& payload, uint32_t type) {
    if (h.flags & kQrvHasPayloadSize) h.payloadSize = static_cast<uint32_t>(payload.size());
    uint8_t b[kQrvFrameHeaderMaxSize];
    const std::size_t n = SerializeQrvFrameHeader(h, b);
    AddRaw(std::vector<uint8_t>(b, b + n), payload, type);
  }

  // Appends frame header bytes exactly as given.
  void AddRaw(const std::vector<uint8_t>& headerBytes, const std::vector<uint8_t>& payload, uint32_t type) {
    std::vector<uint8_t> frame = headerBytes;
    Append(frame, payload);
    index.push_back({next_, type});
    next_ += static_cast<uint32_t>(frame.size());
    frames.push_back(std::move(frame));
  }

  // Frames numbered 1..types.size(), 40 ms apart from the header start time.
  void AddFrames(const std::vector<uint32_t>& types) {
    for (uint32_t type : types) {
      const uint32_t number = static_cast<uint32_t>(frames.size()) + 1;
      const uint8_t stream = type == kQrvAudioFrame ? 0xC0 : 0xE0;
      Add(SampleQrvFrame(number, header.startTime + (number - 1) * 40),
          TaggedPacket(number * 3600, static_cast<uint8_t>(number), stream), type);
    }
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out(kQrvHeaderSize);
    QrvFileHeader h = header;
    h.frameCount = frameCount.value_or(static_cast<uint32_t>(index.size()));
    SerializeQrvFileHeader(h, out.data());
    AppendU16(out, terminator);
    for (const auto& f : frames) Append(out, f);
    for (const RecIndexEntry& e : index) {
      AppendU32(out, e.offset);
      AppendU32(out, e.type);
    }
    AppendU32(out, static_cast<uint32_t>(index.size()));
    return out;
  }

 private:
  uint32_t next_ = kQrvFirstFrameOffset;
};

// Reads the frame at the reader's file position into a scratch slot and
// answers its 0-based entry (frame number - 1), or -1 when the read fails.
inline int EntryAtFilePosition(CRecFile& reader, uint32_t slot = 40) {
  if (!reader.ReadCurrentFrameInfo(slot, 0)) return -1;
  return static_cast<int>(reader.GetCurrentFrameIndex(slot)) - 1;
}

}  // namespace tsv::test
