// The per-frame header record. Its byte layout is at the same time the
// 48-byte frame header of ".vs4" files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/SystemTime.h"

namespace tsv {

// File magics; they also serve as the expected tag of a frame read.
constexpr uint32_t kJpegMagic = 0x01234567;
constexpr uint32_t kMpeg4Magic = 0x89ABCDEF;

// Seeds the ADPCM decoder for one sound frame.
struct ImaAdpcmState {
  uint32_t stepIndex = 0;
  uint32_t predictor = 0;
  bool operator==(const ImaAdpcmState&) const = default;
};

// Marks a frame without predecessor in the timer-interval field.
constexpr uint32_t kNoPredecessorInterval = 65535;

struct FrameInfo {
  uint32_t frameNumber = 0;    // 1-based number of the frame in its file
  uint32_t payloadSize = 0;    // bytes of payload after the header
  uint32_t timerInterval = 0;  // milliseconds since the previous frame of the stream
  uint32_t formatTag = 0;      // equal to the file magic
  uint8_t resolutionCode = 0;
  uint8_t reserved1 = 0;
  uint8_t channel = 0;
  uint8_t reserved2 = 0;
  uint32_t reserve = 0;        // carried through unchanged
  SYSTEMTIME timestamp;
  ImaAdpcmState adpcm;

  bool operator==(const FrameInfo&) const = default;
};

constexpr std::size_t kFrameInfoSize = 48;

FrameInfo ParseFrameInfo(const uint8_t* bytes);
void SerializeFrameInfo(const FrameInfo& info, uint8_t* bytes);

}  // namespace tsv
