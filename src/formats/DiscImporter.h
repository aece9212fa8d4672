// Recorder discs: no file system, a first sector that starts with a packet
// start code (00 00 01 E0..E3) as the disc's signature, and a directory in
// the last sector (u32 reserved, u32 entry count C, then C entries of u32
// first sector and u32 sector count). The disc's stream is the
// concatenation of the listed sector runs, in order; copied into a file it
// is a ".QRV" stream.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/StreamConverter.h"
#include "platform/OpticalDrive.h"
#include "platform/SystemTime.h"

namespace tsv {

constexpr std::size_t kDiscDirectoryHead = 8;
constexpr std::size_t kDiscRunSize = 8;

struct DiscRun {
  uint32_t firstSector = 0;
  uint32_t sectorCount = 0;
  bool operator==(const DiscRun&) const = default;
};

// Whether a first sector carries the signature of a recorder disc.
bool IsRecorderDiscSector(const uint8_t* sector, std::size_t size);

// The runs of a directory sector; none when it lists more runs than the
// sector holds.
std::optional<std::vector<DiscRun>> ParseDiscDirectory(const uint8_t* sector, std::size_t size);

// The directory sector for the given runs (for making disc images).
std::vector<uint8_t> SerializeDiscDirectory(const std::vector<DiscRun>& runs, std::size_t sectorSize);

// The first of `devices` (default: the optical drives) that holds a
// recorder disc. Devices without a disc are passed over silently; when none
// is found, `problems` lists the readable devices that could not be read.
std::optional<std::string> FindRecorderDisc(const std::vector<std::string>& devices, std::string* problems);

// The name of a disc copy: "%d_%02d_%02d_%02d_%02d_%02d" of the given time.
std::string DiscCopyStem(const SYSTEMTIME& time);

enum class DiscCopyStatus {
  Done,
  Stopped,       // the stop flag ended it; the partial copy was removed
  NotADisc,      // the device or image cannot be opened or is no recorder disc
  BadDirectory,  // the last sector is no directory
  WriteFailed,
};

struct DiscCopyReport {
  DiscCopyStatus status = DiscCopyStatus::Done;
  std::string copyPath;  // the published ".QRV" file when Done
  std::string error;
  uint32_t runs = 0;
  uint64_t sectorsListed = 0;      // sum of the directory's sector counts
  uint64_t sectorsCopied = 0;
  uint64_t sectorsBeyondEnd = 0;   // listed but past the end of the disc
  uint64_t sectorsUnreadable = 0;  // read errors; left out of the copy
};

// Copies the stream of the recorder disc in `device` (a drive or an image
// file) into a new ".QRV" file in `folder`, named after `now` ("_2", "_3",
// ... when the name is taken). Checks `stop` between reads of at most a few
// hundred sectors; progress counts copied sectors, 100 when finished.
DiscCopyReport CopyRecorderDisc(const std::string& device, const std::string& folder, const SYSTEMTIME& now,
                                const std::atomic<bool>& stop, const ProgressFn& progress);

}  // namespace tsv
