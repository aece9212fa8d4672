// The file an MP4 clip is muxed into: a hidden temporary file in the target
// folder, reached by libavformat through an AVIOContext, and published
// under the first free name "stem.mp4", "stem_2.mp4", ... only when it is
// complete. An existing file is never replaced; a file that is never
// published is removed.
#pragma once

#include <cstdint>
#include <string>

#include "platform/File.h"

struct AVIOContext;

namespace tsv {

class Mp4FileSink {
 public:
  Mp4FileSink() = default;
  ~Mp4FileSink();
  Mp4FileSink(const Mp4FileSink&) = delete;
  Mp4FileSink& operator=(const Mp4FileSink&) = delete;

  // Creates the temporary file and its I/O context. *intendedPath is the
  // name the file would be published under now.
  bool Create(const std::string& folder, const std::string& stem, std::string* intendedPath, std::string* error);
  // Valid between Create and Publish/Discard.
  AVIOContext* io() const { return io_; }
  // Flushes, syncs and closes the file and gives it the first free name
  // (looked up again, so a name taken meanwhile is skipped). On failure the
  // temporary file is removed.
  bool Publish(std::string* path, std::string* error);
  // Removes the temporary file; no effect after Publish.
  void Discard();

 private:
  static int WritePacket(void* opaque, const uint8_t* data, int size);
  static int WritePacketMutable(void* opaque, uint8_t* data, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);
  void FreeIo();

  File file_;
  std::string folder_;
  std::string stem_;
  std::string tempPath_;
  AVIOContext* io_ = nullptr;
  int64_t position_ = 0;
  int64_t size_ = 0;
  bool writeFailed_ = false;
};

}  // namespace tsv
