// The ".vs4" layout: a 76-byte file header, frames (48-byte FrameInfo plus
// payload), then N 8-byte index entries and the u32 N at the very end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/SystemTime.h"

namespace tsv {

constexpr std::size_t kVsxHeaderSize = 76;
constexpr std::size_t kIndexEntrySize = 8;
constexpr uint8_t kVsxAudioModeOwnPacing = 1;  // pictures paced by their own intervals
constexpr uint8_t kVsxAudioModeSoundOnly = 2;  // no pictures in the file
constexpr uint8_t kVsxConvertedFromQrv = 102;  // source format code of a converted ".QRV" stream

struct VsxFileHeader {
  uint32_t frameCount = 0;
  uint32_t startTime = 0;  // seconds, any fixed origin
  uint32_t endTime = 0;
  uint32_t ipAddress = 0;  // lowest byte is the first number of the dotted form
  uint8_t resolutionCode = 0;
  uint8_t recordStyle = 0;  // 1 trigger, 2 user, 3 schedule
  std::array<uint8_t, 30> reserved1{};
  SYSTEMTIME fileTimestamp;
  uint32_t reserved2 = 0;
  uint32_t magic = 0;
  uint8_t audioMode = 0;
  uint8_t sourceFormat = 0;
  std::array<uint8_t, 2> reserved3{};

  bool operator==(const VsxFileHeader&) const = default;
};

VsxFileHeader ParseVsxFileHeader(const uint8_t* bytes);
void SerializeVsxFileHeader(const VsxFileHeader& header, uint8_t* bytes);

// One entry of a frame index (both layouts share the 8-byte shape).
struct RecIndexEntry {
  uint32_t offset = 0;  // file offset of the frame header
  uint32_t type = 0;    // layout-specific frame type
  bool operator==(const RecIndexEntry&) const = default;
};

// The index entries of ".vs4" and ".vse" files share this shape; their
// types differ (see the type constants of each layout).
using VsxIndexEntry = RecIndexEntry;
using QrvIndexEntry = RecIndexEntry;

RecIndexEntry ParseIndexEntry(const uint8_t* bytes);
void SerializeIndexEntry(const RecIndexEntry& entry, uint8_t* bytes);

// The tail that closes a recording of either layout: the index entries,
// then the u32 entry count.
std::vector<uint8_t> SerializeIndexTail(const std::vector<RecIndexEntry>& index, uint32_t count);

// ".vs4" frame types.
constexpr uint32_t kVsxAudioFrame = 0;
constexpr uint32_t kVsxKeyFrame = 1;
constexpr uint32_t kVsxPredictedFrame = 2;
constexpr uint32_t kVsxKeyFrameAlt = 3;

}  // namespace tsv
