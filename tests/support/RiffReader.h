// RIFF reading for the tests: the chunk tree of a file, walked by its
// headers alone so that files past 4 GiB are checked without reading them
// whole, and the AVI fields and indexes that the tests look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsv::test {

struct RiffChunk {
  std::string id;       // "RIFF", "LIST", "avih", "00db"...
  std::string type;     // the type of a RIFF or LIST ("AVI ", "movi"...)
  uint64_t offset = 0;  // of the chunk's id
  uint32_t size = 0;    // as its header says
  std::vector<RiffChunk> children;

  uint64_t dataOffset() const { return offset + 8; }
  // The first child with this id (and list type); nullptr when none.
  const RiffChunk* Find(const std::string& childId, const std::string& childType = "") const;
};

class RiffReader {
 public:
  explicit RiffReader(const std::string& path);
  ~RiffReader();
  RiffReader(const RiffReader&) = delete;
  RiffReader& operator=(const RiffReader&) = delete;

  // Empty when the file is a sequence of well-formed RIFF lists.
  const std::string& error() const { return error_; }
  const std::vector<RiffChunk>& riffs() const { return riffs_; }
  uint64_t fileSize() const { return fileSize_; }
  // size bytes at offset; shorter at the end of the file.
  std::vector<uint8_t> Read(uint64_t offset, std::size_t size) const;
  std::vector<uint8_t> Data(const RiffChunk& chunk) const { return Read(chunk.dataOffset(), chunk.size); }

 private:
  bool Walk(uint64_t begin, uint64_t end, int depth, std::vector<RiffChunk>* into);

  int fd_ = -1;
  uint64_t fileSize_ = 0;
  std::vector<RiffChunk> riffs_;
  std::string error_;
};

// What an uncompressed AVI file says about itself.
struct AviLayout {
  uint32_t usPerFrame = 0;
  uint32_t avihFlags = 0;
  uint32_t avihFrames = 0;
  uint32_t streams = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::string streamType;
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  uint32_t quality = 0;
  uint32_t suggestedBuffer = 0;
  int16_t frameRect[4] = {};
  std::vector<uint8_t> bitmapHeader;  // strf
  std::string streamName;
  uint32_t dmlhFrames = 0;
  std::vector<std::string> riffTypes;
  std::vector<uint32_t> picturesPerRiff;  // from the standard indexes
  uint32_t legacyEntries = 0;             // idx1
  // Where each picture's bytes are, in order, as the standard indexes
  // list them.
  std::vector<uint64_t> pictureOffsets;
  std::vector<uint32_t> pictureSizes;
  // Everything that does not hold together: super index entries that do
  // not point at an 'ix00', index entries that do not point at a '00db'
  // chunk of their size, counts that disagree...
  std::vector<std::string> problems;
};

AviLayout ReadAviLayout(const RiffReader& riff);

}  // namespace tsv::test
