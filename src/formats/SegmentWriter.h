// What a reader keeps while it writes a segment of its recording into a new
// file of the same layout: the new index and where the next frame goes.
// The layouts differ only in their leading bytes and frame headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/SegmentOutput.h"
#include "formats/VsxLayout.h"

namespace tsv {

class SegmentWriter {
 public:
  // Creates the output named after the first frame's time in `folder` and
  // writes the leading bytes (file header, and terminator where the layout
  // has one). None when the file cannot be created or written.
  std::unique_ptr<SegmentOutput> Begin(const std::string& folder, const SYSTEMTIME& first, const char* ext,
                                       const uint8_t* lead, std::size_t leadSize);

  // Whether frame framesWritten + 1 may be written: the new index holds at
  // most as many entries as the source index, and the source frame must
  // have an entry to take its type from. A refusal marks the segment
  // failed, so it is not published.
  bool Admit(const SegmentOutput* out, uint32_t framesWritten, uint32_t sourceFrameNumber,
             std::size_t sourceEntries);

  // Writes a frame header and its payload and records the index entry;
  // returns the new number of frames written.
  uint32_t Write(SegmentOutput* out, const uint8_t* header, std::size_t headerSize, const uint8_t* payload,
                 uint32_t length, uint32_t type);

  // Appends the index and the frame count, rewrites the file header with
  // the count stored at countOffset, and publishes the file. False (nothing
  // published) when any write failed or the count disagrees with the
  // frames written.
  bool End(SegmentOutput* out, uint32_t frameCount, std::vector<uint8_t> header, std::size_t countOffset);

 private:
  std::vector<RecIndexEntry> index_;
  uint32_t nextOffset_ = 0;
  bool failed_ = false;
};

}  // namespace tsv
