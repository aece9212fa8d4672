// The file a segment is written into. It is written under a temporary name
// in the output folder and gets its real name only when the segment is
// finished, so an interrupted segment never looks like a complete
// recording and an existing file is never replaced.
#pragma once

#include <memory>
#include <string>

#include "platform/File.h"
#include "platform/SystemTime.h"

namespace tsv {

// "%02d%02d%02d_%02d%02d%02d" of the first frame's time; the year is printed
// whole (20050305_101530).
std::string SegmentStem(const SYSTEMTIME& t);

class SegmentOutput {
 public:
  // Creates the temporary file for a segment that will be named
  // folder/stem + ext (or stem_2 + ext, ... when that name is taken).
  static std::unique_ptr<SegmentOutput> Create(const std::string& folder, const std::string& stem,
                                               const std::string& ext);
  ~SegmentOutput();

  File& file() { return file_; }
  // Syncs, closes and publishes under the first free name. False when any
  // step fails; the temporary file is then removed.
  bool Finish();
  // The published path (empty until Finish succeeded).
  const std::string& path() const { return finalPath_; }

 private:
  SegmentOutput() = default;
  File file_;
  std::string tempPath_;
  std::string folder_, stem_, ext_;
  std::string finalPath_;
};

}  // namespace tsv
