// An uncompressed AVI file of one video stream: 24-bit pictures, rows
// bottom-up, as the OpenDML (AVI 2.0) layout that stays valid past 1 GB
// and 4 GB. The first RIFF 'AVI ' holds the headers, its pictures, a
// standard index 'ix00' and the legacy 'idx1'; when a RIFF would grow
// past the limit, the pictures go on in further RIFF 'AVIX' lists, each
// with its own 'ix00'. The super index 'indx' in the stream header points
// at every 'ix00' with 64-bit offsets.
//
// Headers are written with placeholders at the start and rewritten at the
// end, so pictures are written as they arrive and the rate may be set at
// any time before Finish. The file is published complete or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/AviOutput.h"

namespace tsv {

constexpr uint64_t kAviRiffLimit = 1ull << 30;

struct AviFileOptions {
  // A RIFF list is closed before it would grow past this many bytes (it
  // always holds at least one picture). At most 2 GiB.
  uint64_t riffLimit = kAviRiffLimit;
  // Room in the super index: the number of RIFF lists a file can have.
  uint32_t superIndexEntries = 1024;
  // Pictures whose bytes are all zero are left as holes of a sparse file
  // instead of being written.
  bool holesForBlackPictures = false;
};

// The largest picture accepted, in bytes.
constexpr uint64_t kAviMaxPictureBytes = 256ull << 20;

class AviFile {
 public:
  explicit AviFile(AviFileOptions options = {});
  ~AviFile();
  AviFile(const AviFile&) = delete;
  AviFile& operator=(const AviFile&) = delete;

  // Starts a file that Finish publishes as folder/stem.avi (or the first
  // free "stem_N.avi") for pictures of width x height.
  bool Create(const std::string& folder, const std::string& stem, uint16_t width, uint16_t height);
  // Pictures per second as rate/scale, stored reduced; 25/1 until set.
  // False (nothing changed) when either is 0.
  bool SetRate(uint32_t rate, uint32_t scale);
  // Appends one picture: height rows of width blue-green-red triples,
  // bottom row first, rows packed without padding.
  bool WriteFrame(const uint8_t* pixels);
  // Writes the last index, rewrites the headers and publishes the file.
  // False (and no file left) on any failure or when no picture came.
  bool Finish();
  // Ends without a file.
  void Abort();

  uint32_t frames() const { return totalFrames_; }
  uint32_t riffCount() const { return static_cast<uint32_t>(riffs_.size()); }
  uint32_t rate() const { return rate_; }
  uint32_t scale() const { return scale_; }
  // The published path; empty until Finish succeeded.
  const std::string& path() const { return path_; }
  // Why the last call failed.
  const std::string& error() const { return error_; }

 private:
  // One RIFF list as its index describes it.
  struct Riff {
    uint64_t start = 0;        // offset of "RIFF"
    uint64_t moviStart = 0;    // offset of "LIST" of the movi list
    uint64_t indexOffset = 0;  // offset of its "ix00" chunk
    uint32_t indexSize = 0;    // the whole "ix00" chunk
    uint64_t end = 0;          // past its last byte, once closed
    uint32_t frames = 0;
  };

  std::vector<uint8_t> Headers() const;
  bool OpenRiff();
  bool CloseRiff();
  bool WriteIndexEntries(uint32_t frames, uint64_t firstChunk, uint64_t base, bool legacy);
  uint64_t RiffBytesWith(uint32_t frames) const;
  bool Fail(const std::string& message);

  AviFileOptions options_;
  AviOutput out_;
  uint16_t width_ = 0;
  uint16_t height_ = 0;
  uint32_t rowBytes_ = 0;     // width * 3
  uint32_t strideBytes_ = 0;  // rows padded to 4 bytes
  uint32_t frameBytes_ = 0;
  uint32_t rate_ = 25;
  uint32_t scale_ = 1;
  uint32_t totalFrames_ = 0;
  std::vector<Riff> riffs_;
  std::vector<uint8_t> rowBuffer_;    // a padded picture, when rows need padding
  std::vector<uint8_t> indexBuffer_;  // index entries on their way out
  bool open_ = false;
  std::string path_;
  std::string error_;
};

}  // namespace tsv
