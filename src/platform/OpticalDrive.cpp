#include "platform/OpticalDrive.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tsv {

constexpr int kOpticalDriveCount = 10;  // /dev/sr0 .. /dev/sr9

OpticalDrive::~OpticalDrive() { Close(); }

OpticalDrive::OpenResult OpticalDrive::Open(const std::string& path, std::string* error) {
  Close();
  // O_NONBLOCK lets a drive without a disc open, so its size can say so.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    *error = path + ": " + std::strerror(code);
    if (code == ENOENT || code == ENXIO || code == ENODEV) return OpenResult::NoDevice;
    return code == ENOMEDIUM ? OpenResult::NoDisc : OpenResult::Failed;
  }
  struct stat st {};
  uint32_t sectorSize = 0;
  uint64_t size = 0;
  if (::fstat(fd, &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    ::close(fd);
    return OpenResult::Failed;
  }
  if (S_ISBLK(st.st_mode)) {
    int blockSize = 0;
    if (::ioctl(fd, BLKSSZGET, &blockSize) != 0 || blockSize <= 0 || ::ioctl(fd, BLKGETSIZE64, &size) != 0) {
      const int code = errno;
      *error = path + ": no disc geometry (" + std::strerror(code) + ")";
      ::close(fd);
      return code == ENOMEDIUM ? OpenResult::NoDisc : OpenResult::Failed;
    }
    sectorSize = static_cast<uint32_t>(blockSize);
  } else if (S_ISREG(st.st_mode)) {
    sectorSize = kOpticalSectorSize;
    size = static_cast<uint64_t>(st.st_size);
  } else {
    *error = path + ": not a drive or a disc image";
    ::close(fd);
    return OpenResult::Failed;
  }
  if (size < sectorSize) {
    *error = path + ": no disc";
    ::close(fd);
    return OpenResult::NoDisc;
  }
  fd_ = fd;
  sectorSize_ = sectorSize;
  size_ = size;
  return OpenResult::Opened;
}

void OpticalDrive::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  sectorSize_ = 0;
  size_ = 0;
}

uint64_t OpticalDrive::ReadSectors(uint64_t first, uint64_t count, uint8_t* out) {
  if (fd_ < 0 || first >= SectorCount()) return 0;
  count = std::min(count, SectorCount() - first);
  const std::size_t total = static_cast<std::size_t>(count * sectorSize_);
  std::size_t done = 0;
  while (done < total) {
    const ssize_t n = ::pread(fd_, out + done, total - done, static_cast<off_t>(first * sectorSize_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done / sectorSize_;
}

std::vector<std::string> OpticalDrivePaths() {
  std::vector<std::string> paths;
  for (int n = 0; n < kOpticalDriveCount; ++n) paths.push_back("/dev/sr" + std::to_string(n));
  return paths;
}

}  // namespace tsv
