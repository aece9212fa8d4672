#include "media/AviOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tsv {

namespace {

constexpr int kNameAttempts = 100;

}  // namespace

AviOutput::~AviOutput() { Discard(); }

bool AviOutput::Create(const std::string& folder, const std::string& stem, std::string* error) {
  Discard();
  // FirstFreeName hands out a free name; CreateNew still refuses one that
  // appeared in between, so the next is tried.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string temp = FirstFreeName(folder, "." + stem + ".avi.partial", "");
    if (file_.CreateNew(temp)) {
      folder_ = folder;
      stem_ = stem;
      tempPath_ = temp;
      size_ = 0;
      failed_ = false;
      return true;
    }
    if (errno != EEXIST) break;
  }
  *error = "cannot create a file in " + (folder.empty() ? std::string(".") : folder) + ": " + std::strerror(errno);
  return false;
}

bool AviOutput::Append(const void* data, std::size_t size) {
  if (failed_ || !file_.Write(data, size)) {
    failed_ = true;
    return false;
  }
  size_ += size;
  return true;
}

bool AviOutput::AppendZeros(uint64_t size) {
  if (size == 0) return true;
  // Seeking leaves the hole; the last byte is written so that the file
  // has its full length even when nothing follows.
  const uint8_t zero = 0;
  if (failed_ || !file_.Seek(static_cast<long long>(size - 1), File::Origin::Current) || !file_.Write(&zero, 1)) {
    failed_ = true;
    return false;
  }
  size_ += size;
  return true;
}

bool AviOutput::WriteAt(uint64_t offset, const void* data, std::size_t size) {
  if (failed_ || offset > size_ || size > size_ - offset) return false;
  if (!file_.Seek(static_cast<long long>(offset), File::Origin::Begin) || !file_.Write(data, size) ||
      !file_.Seek(0, File::Origin::End)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool AviOutput::Publish(std::string* path, std::string* error) {
  if (tempPath_.empty()) {
    *error = "no output file";
    return false;
  }
  const bool synced = !failed_ && file_.Sync();
  if (!file_.Close() || !synced) {
    *error = "cannot write " + tempPath_;
    Discard();
    return false;
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = FirstFreeName(folder_, stem_, ".avi");
    if (PublishNoReplace(tempPath_, candidate)) {
      tempPath_.clear();
      *path = candidate;
      return true;
    }
    if (errno != EEXIST) {
      *error = "cannot create " + candidate + ": " + std::strerror(errno);
      break;
    }
    *error = "no free name for " + JoinPath(folder_, stem_ + ".avi");
  }
  Discard();
  return false;
}

void AviOutput::Discard() {
  file_.Close();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

}  // namespace tsv
