#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <utility>

namespace tsv {

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool File::OpenExisting(const std::string& path, bool readWrite) {
  Close();
  if (readWrite) fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    // Directories and devices are not recordings.
    Close();
    return false;
  }
  return true;
}

bool File::CreateNew(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

long long File::Read(void* buffer, std::size_t size) {
  if (fd_ < 0) return -1;
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd_, out + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<long long>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(done);
}

bool File::ReadExact(void* buffer, std::size_t size) {
  return Read(buffer, size) == static_cast<long long>(size);
}

bool File::Write(const void* buffer, std::size_t size) {
  if (fd_ < 0) return false;
  const auto* in = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool File::Seek(long long offset, Origin origin) {
  if (fd_ < 0) return false;
  const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
  return ::lseek(fd_, static_cast<off_t>(offset), whence) >= 0;
}

long long File::Tell() const {
  if (fd_ < 0) return -1;
  return static_cast<long long>(::lseek(fd_, 0, SEEK_CUR));
}

long long File::Size() const {
  if (fd_ < 0) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool File::Sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }

bool File::Close() {
  if (fd_ < 0) return true;
  const int rc = ::close(std::exchange(fd_, -1));
  return rc == 0;
}

bool PublishNoReplace(const std::string& tempPath, const std::string& finalPath) {
  // A rename that fails with EEXIST instead of replacing, as plain rename()
  // would.
  if (::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // File systems without that rename: a hard link fails with EEXIST too.
  if (::link(tempPath.c_str(), finalPath.c_str()) == 0) {
    ::unlink(tempPath.c_str());
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return false;
  // Neither (FAT and exFAT memory sticks, some network shares): look, then
  // rename. Only a file appearing in between these two calls is at risk.
  struct stat st {};
  if (::lstat(finalPath.c_str(), &st) == 0 || errno != ENOENT) {
    errno = EEXIST;
    return false;
  }
  return ::rename(tempPath.c_str(), finalPath.c_str()) == 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FirstFreeName(const std::string& folder, const std::string& stem, const std::string& ext) {
  for (unsigned n = 1;; ++n) {
    const std::string name = n == 1 ? stem + ext : stem + "_" + std::to_string(n) + ext;
    const std::string path = JoinPath(folder, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return path;
  }
}

std::string UpperExtension4(const std::string& path) {
  std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : path;
  for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return tail;
}

}  // namespace tsv
