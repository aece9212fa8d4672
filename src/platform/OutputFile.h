// A new file that appears under its final name only when it is complete:
// it is written under a hidden temporary name in the same folder and then
// published without replacing anything. An output that is never committed
// is removed, so no half-written recording is left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/File.h"

namespace tsv {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False (with a reason) when finalPath already exists or the temporary
  // file cannot be created.
  bool Create(const std::string& finalPath, std::string* error);
  bool Write(const void* data, std::size_t size);
  // Overwrites bytes already written (a header rewritten at the end);
  // later writes still append. False when the range is not written yet.
  bool WriteAt(uint64_t offset, const void* data, std::size_t size);
  // Bytes written so far.
  uint64_t Size() const { return size_; }
  // Flushes, closes and publishes under the final name. False (and the
  // temporary file removed) when any step fails or the final name has
  // appeared meanwhile.
  bool Commit(std::string* error);

 private:
  void Discard();

  File file_;
  std::string finalPath_;
  std::string tempPath_;
  uint64_t size_ = 0;
  bool writeFailed_ = false;
};

}  // namespace tsv
