// The file an AVI export is written to. It lives under a hidden temporary
// name in the destination folder while it grows and is published at the
// end under the first free name of "stem.avi", "stem_2.avi"...: the name is
// picked when the file is complete, so a file that appeared meanwhile is
// never replaced and never makes a finished export fail. An output that is
// not published is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/File.h"

namespace tsv {

class AviOutput {
 public:
  AviOutput() = default;
  ~AviOutput();
  AviOutput(const AviOutput&) = delete;
  AviOutput& operator=(const AviOutput&) = delete;

  // Creates the temporary file in folder; false with a reason when it
  // cannot be created.
  bool Create(const std::string& folder, const std::string& stem, std::string* error);
  // Appends size bytes.
  bool Append(const void* data, std::size_t size);
  // Appends size zero bytes without writing them (a hole in a sparse file).
  bool AppendZeros(uint64_t size);
  // Overwrites bytes already appended; later appends go on at the end.
  bool WriteAt(uint64_t offset, const void* data, std::size_t size);
  // Bytes appended so far.
  uint64_t Size() const { return size_; }
  // Flushes, closes and publishes; *path gets the name used. On failure
  // the temporary file is removed.
  bool Publish(std::string* path, std::string* error);
  // Removes the temporary file.
  void Discard();

 private:
  File file_;
  std::string folder_;
  std::string stem_;
  std::string tempPath_;
  uint64_t size_ = 0;
  bool failed_ = false;
};

}  // namespace tsv
