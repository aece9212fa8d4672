#include "platform/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tsv {

namespace {

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Create(const std::string& finalPath, std::string* error) {
  Discard();
  if (PathExists(finalPath)) {
    *error = finalPath + " already exists";
    return false;
  }
  const std::filesystem::path target(finalPath);
  const std::string folder = target.parent_path().string();
  const std::string stem = "." + target.filename().string() + ".partial";
  // FirstFreeName hands out a free name; CreateNew still refuses one that
  // appeared in between, so try the next.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = FirstFreeName(folder, stem, "");
    if (file_.CreateNew(temp)) {
      finalPath_ = finalPath;
      tempPath_ = temp;
      size_ = 0;
      writeFailed_ = false;
      return true;
    }
    if (errno != EEXIST) break;
  }
  *error = "cannot create a file in the folder of " + finalPath + ": " + std::strerror(errno);
  return false;
}

bool OutputFile::Write(const void* data, std::size_t size) {
  if (writeFailed_ || !file_.Write(data, size)) {
    writeFailed_ = true;
    return false;
  }
  size_ += size;
  return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, std::size_t size) {
  if (writeFailed_ || offset > size_ || size > size_ - offset) return false;
  if (!file_.Seek(static_cast<long long>(offset), File::Origin::Begin) || !file_.Write(data, size) ||
      !file_.Seek(0, File::Origin::End)) {
    writeFailed_ = true;
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string* error) {
  if (tempPath_.empty()) {
    *error = "no output file";
    return false;
  }
  if (writeFailed_) {
    *error = "cannot write " + finalPath_;
    Discard();
    return false;
  }
  const bool synced = file_.Sync();
  if (!file_.Close() || !synced) {
    *error = "cannot write " + finalPath_;
    Discard();
    return false;
  }
  if (!PublishNoReplace(tempPath_, finalPath_)) {
    *error = PathExists(finalPath_) ? finalPath_ + " already exists" : "cannot create " + finalPath_;
    Discard();
    return false;
  }
  tempPath_.clear();
  return true;
}

void OutputFile::Discard() {
  file_.Close();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

}  // namespace tsv
