// Raw access to an optical drive (/dev/sr0 .. /dev/sr9) or to an image file
// of a disc, which works the same way: whole sectors by number, the sector
// size and the size of the medium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tsv {

// Sectors of a disc image file (and of every optical disc).
constexpr uint32_t kOpticalSectorSize = 2048;

class OpticalDrive {
 public:
  OpticalDrive() = default;
  ~OpticalDrive();
  OpticalDrive(const OpticalDrive&) = delete;
  OpticalDrive& operator=(const OpticalDrive&) = delete;

  enum class OpenResult { Opened, NoDevice, NoDisc, Failed };

  // Opens a block device (its sector size and size from the device) or a
  // regular file (2048-byte sectors, its length). NoDevice when the path
  // does not exist, NoDisc for an empty drive; a reason on every failure.
  OpenResult Open(const std::string& path, std::string* error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  uint32_t SectorSize() const { return sectorSize_; }
  uint64_t Size() const { return size_; }
  // Whole sectors of the medium; a partial sector at the end is not one.
  uint64_t SectorCount() const { return sectorSize_ == 0 ? 0 : size_ / sectorSize_; }

  // Reads `count` sectors from sector `first` into out (count x SectorSize
  // bytes). Returns the whole sectors read: fewer at the end of the medium
  // or at the first unreadable sector.
  uint64_t ReadSectors(uint64_t first, uint64_t count, uint8_t* out);

 private:
  int fd_ = -1;
  uint32_t sectorSize_ = 0;
  uint64_t size_ = 0;
};

// The device paths of the optical drives a recorder disc may be in, in the
// order they are searched.
std::vector<std::string> OpticalDrivePaths();

}  // namespace tsv
