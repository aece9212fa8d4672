#include "media/Mp4FileSink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

namespace tsv {

namespace {

// Large writes keep the system calls of a fast copy few.
constexpr int kIoBufferSize = 1 << 18;
constexpr int kNameAttempts = 100;

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

Mp4FileSink::~Mp4FileSink() { Discard(); }

bool Mp4FileSink::Create(const std::string& folder, const std::string& stem, std::string* intendedPath,
                         std::string* error) {
  Discard();
  folder_ = folder;
  stem_ = stem;
  const std::string hidden = "." + stem + ".mp4.partial";
  for (int attempt = 0; attempt < kNameAttempts && tempPath_.empty(); ++attempt) {
    const std::string temp = FirstFreeName(folder, hidden, "");
    if (file_.CreateNew(temp)) {
      tempPath_ = temp;
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (tempPath_.empty()) {
    *error = "cannot create a file in " + (folder.empty() ? std::string(".") : folder) + ": " + std::strerror(errno);
    return false;
  }
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
  if (buffer != nullptr) {
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    io_ = avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &Mp4FileSink::WritePacket, &Mp4FileSink::Seek);
#else
    io_ = avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &Mp4FileSink::WritePacketMutable,
                             &Mp4FileSink::Seek);
#endif
    if (io_ == nullptr) av_free(buffer);
  }
  if (io_ == nullptr) {
    Discard();
    *error = "out of memory";
    return false;
  }
  position_ = 0;
  size_ = 0;
  writeFailed_ = false;
  *intendedPath = FirstFreeName(folder, stem, ".mp4");
  return true;
}

int Mp4FileSink::WritePacket(void* opaque, const uint8_t* data, int size) {
  auto* self = static_cast<Mp4FileSink*>(opaque);
  if (self->writeFailed_ || size < 0 || !self->file_.Write(data, static_cast<std::size_t>(size))) {
    self->writeFailed_ = true;
    return AVERROR(EIO);
  }
  self->position_ += size;
  self->size_ = std::max(self->size_, self->position_);
  return size;
}

int Mp4FileSink::WritePacketMutable(void* opaque, uint8_t* data, int size) { return WritePacket(opaque, data, size); }

int64_t Mp4FileSink::Seek(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<Mp4FileSink*>(opaque);
  if (whence & AVSEEK_SIZE) return self->size_;
  int64_t target = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = self->position_ + offset;
      break;
    case SEEK_END:
      target = self->size_ + offset;
      break;
    default:
      return AVERROR(EINVAL);
  }
  // The muxer only goes back to patch what it wrote; anything else is a
  // fault that must not leave a hole in the file.
  if (target < 0 || target > self->size_) return AVERROR(EINVAL);
  if (!self->file_.Seek(target, File::Origin::Begin)) return AVERROR(EIO);
  self->position_ = target;
  return target;
}

bool Mp4FileSink::Publish(std::string* path, std::string* error) {
  if (io_ == nullptr || tempPath_.empty()) {
    *error = "no output file";
    return false;
  }
  avio_flush(io_);
  const bool written = !writeFailed_ && io_->error >= 0;
  FreeIo();
  const bool synced = written && file_.Sync();
  if (!file_.Close() || !synced) {
    *error = "cannot write the clip into " + (folder_.empty() ? std::string(".") : folder_);
    Discard();
    return false;
  }
  std::string candidate;
  int reason = EEXIST;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    candidate = FirstFreeName(folder_, stem_, ".mp4");
    if (PublishNoReplace(tempPath_, candidate)) {
      tempPath_.clear();
      *path = candidate;
      return true;
    }
    reason = errno;
    // Another writer took the name in between: the next free one is tried.
    if (!PathExists(candidate)) break;
  }
  *error = "cannot create " + candidate + ": " + std::strerror(reason);
  Discard();
  return false;
}

void Mp4FileSink::FreeIo() {
  if (io_ == nullptr) return;
  av_freep(&io_->buffer);
  avio_context_free(&io_);
}

void Mp4FileSink::Discard() {
  FreeIo();
  file_.Close();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

}  // namespace tsv
