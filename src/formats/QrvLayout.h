// The ".vse" (QRV) layout: an 80-byte file header and a u16 0xFFFF, frames
// with variable-length headers (each field present when its flag bit is
// set), then N 8-byte index entries and the u32 N at the very end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/SystemTime.h"

namespace tsv {

constexpr std::size_t kQrvHeaderSize = 80;
constexpr std::size_t kQrvFirstFrameOffset = 82;  // header plus its 0xFFFF terminator
constexpr uint16_t kQrvTerminator = 0xFFFF;
// A frame header is at most 4 + 4 + 4 + 2 + 2 + 4 + 1 + 1 + 1 + 2 bytes;
// the reader looks at no more than this many bytes for one.
constexpr std::size_t kQrvFrameHeaderReadSize = 1024;
constexpr std::size_t kQrvFrameHeaderMaxSize = 25;

// Frame-header flag bits.
constexpr uint32_t kQrvHasFrameNumber = 0x01;
constexpr uint32_t kQrvHasPayloadSize = 0x02;
constexpr uint32_t kQrvHasWidth = 0x04;
constexpr uint32_t kQrvHasHeight = 0x08;
constexpr uint32_t kQrvHasFrameTime = 0x10;
constexpr uint32_t kQrvHasChannel = 0x20;
constexpr uint32_t kQrvHasExtra1 = 0x40;
constexpr uint32_t kQrvHasExtra2 = 0x80;

// Index entry types.
constexpr uint32_t kQrvKeyFrame = 0;
constexpr uint32_t kQrvKeyFrameAlt = 0x1001;
constexpr uint32_t kQrvPredictedFrame = 0x1002;
constexpr uint32_t kQrvAudioFrame = 0x8000;

// Stream types (header byte 58).
constexpr uint8_t kQrvStreamJpegOwnPacing = 0;
constexpr uint8_t kQrvStreamMpeg4ChainOwnPacing = 1;
constexpr uint8_t kQrvStreamMpeg4KeyRefOwnPacing = 2;
constexpr uint8_t kQrvStreamJpeg = 3;
constexpr uint8_t kQrvStreamMpeg4Chain = 4;
constexpr uint8_t kQrvStreamMpeg4KeyRef = 5;
constexpr uint8_t kQrvStreamSoundOnly = 6;

struct QrvFileHeader {
  std::array<uint8_t, 24> reserved1{};
  SYSTEMTIME startTimestamp;  // local time of the first frame
  uint32_t startTime = 0;     // frame time (ms) of the first frame
  uint32_t endTime = 0;       // frame time (ms) of the last frame
  uint32_t frameCount = 0;
  uint32_t ipAddress = 0;
  std::array<uint8_t, 2> reserved2{};
  uint8_t streamType = 0;
  uint8_t recordStyle = 0;  // 1 user, 2 trigger, 4 schedule
  std::array<uint8_t, 20> reserved3{};

  bool operator==(const QrvFileHeader&) const = default;
};

QrvFileHeader ParseQrvFileHeader(const uint8_t* bytes);
void SerializeQrvFileHeader(const QrvFileHeader& header, uint8_t* bytes);

// The fields of one frame header. A field whose flag is absent is left as
// it was, so a record keeps values from the last frame read into it.
struct QrvFrameHeader {
  uint32_t flags = 0;
  uint32_t frameNumber = 0;
  uint32_t payloadSize = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t frameTime = 0;  // milliseconds
  uint8_t channel = 0;
  uint8_t extra1 = 0;
  uint8_t extra2 = 0;

  bool operator==(const QrvFrameHeader&) const = default;
};

// Parses a frame header from `length` bytes into `header` (absent fields
// keep their values). Returns the header length including the terminator,
// or 0 when the bytes end early or the terminator is not 0xFFFF.
std::size_t ParseQrvFrameHeader(const uint8_t* bytes, std::size_t length, QrvFrameHeader* header);

// Writes flags, the present fields and the terminator; returns the length
// (at most kQrvFrameHeaderMaxSize).
std::size_t SerializeQrvFrameHeader(const QrvFrameHeader& header, uint8_t* bytes);

// Milliseconds from the header start time to frame time f, as the
// recorders count them: f - start, or start - f - 1 for an earlier frame.
uint32_t QrvElapsedMs(uint32_t frameTime, uint32_t startTime);

bool IsQrvKeyType(uint32_t type);

}  // namespace tsv
