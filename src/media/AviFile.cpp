#include "media/AviFile.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "platform/ByteIO.h"

namespace tsv {

namespace {

constexpr uint64_t kMaxRiffLimit = 2ull << 30;
constexpr uint32_t kMaxSuperIndexEntries = 1u << 16;
constexpr std::size_t kIndexBufferBytes = std::size_t{64} * 1024;  // a multiple of both entry sizes
constexpr uint32_t kChunkHeader = 8;
constexpr uint32_t kStdIndexHeader = 24;  // the 'ix00' fields before its entries
constexpr uint32_t kStdIndexEntry = 8;
constexpr uint32_t kLegacyIndexEntry = 16;
constexpr uint32_t kSuperIndexEntry = 16;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyframe = 0x10;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;
constexpr char kStreamName[] = "Video Stream";  // written with its terminating zero

uint32_t Clamp32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }

void PutFourCC(uint8_t* p, const char* id) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(id[i]);
}

// Appends little-endian fields and nested chunks to a byte buffer.
class ChunkBuilder {
 public:
  std::vector<uint8_t> bytes;

  // Byte by byte: GCC's overflow check misreads a range insert into an
  // empty vector under some instrumented builds.
  void FourCC(const char* id) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(id[i]));
  }
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }

  // Opens a chunk (or a LIST / RIFF with its type); returns where its
  // size goes.
  std::size_t Begin(const char* id, const char* listType = nullptr) {
    FourCC(id);
    const std::size_t sizeAt = bytes.size();
    U32(0);
    if (listType != nullptr) FourCC(listType);
    return sizeAt;
  }
  // Closes a chunk: fills in its size and pads it to an even length.
  void End(std::size_t sizeAt) {
    PutU32LE(bytes.data() + sizeAt, static_cast<uint32_t>(bytes.size() - sizeAt - 4));
    if (bytes.size() % 2 != 0) U8(0);
  }
};

}  // namespace

AviFile::AviFile(AviFileOptions options) : options_(options) {
  options_.riffLimit = std::min(options_.riffLimit, kMaxRiffLimit);
  options_.superIndexEntries = std::clamp(options_.superIndexEntries, 1u, kMaxSuperIndexEntries);
}

AviFile::~AviFile() { Abort(); }

bool AviFile::Create(const std::string& folder, const std::string& stem, uint16_t width, uint16_t height) {
  Abort();
  path_.clear();
  error_.clear();
  riffs_.clear();
  totalFrames_ = 0;
  if (width == 0 || height == 0) return Fail("a picture has no size");
  rowBytes_ = width * 3u;
  // Rows of a bitmap are padded to 4 bytes; pictures whose rows are not
  // are copied row by row into padded rows.
  strideBytes_ = (rowBytes_ + 3u) & ~3u;
  const uint64_t frameBytes = uint64_t{strideBytes_} * height;
  if (frameBytes > kAviMaxPictureBytes) return Fail("the pictures are too large for an AVI file");
  width_ = width;
  height_ = height;
  frameBytes_ = static_cast<uint32_t>(frameBytes);
  if (strideBytes_ != rowBytes_) {
    rowBuffer_.assign(frameBytes_, 0);
  } else {
    rowBuffer_.clear();
    rowBuffer_.shrink_to_fit();
  }
  indexBuffer_.resize(kIndexBufferBytes);
  riffs_.reserve(options_.superIndexEntries);

  if (!out_.Create(folder, stem, &error_)) return false;
  const std::vector<uint8_t> headers = Headers();
  if (!out_.Append(headers.data(), headers.size())) return Fail("cannot write the file");
  Riff first;
  first.start = 0;
  first.moviStart = headers.size() - 12;
  riffs_.push_back(first);
  open_ = true;
  return true;
}

bool AviFile::SetRate(uint32_t rate, uint32_t scale) {
  if (rate == 0 || scale == 0) return false;
  const uint32_t divisor = std::gcd(rate, scale);
  rate_ = rate / divisor;
  scale_ = scale / divisor;
  return true;
}

uint64_t AviFile::RiffBytesWith(uint32_t frames) const {
  const Riff& riff = riffs_.back();
  uint64_t bytes = riff.moviStart + 12 - riff.start;
  bytes += uint64_t{frames} * (kChunkHeader + frameBytes_);
  bytes += kChunkHeader + kStdIndexHeader + uint64_t{frames} * kStdIndexEntry;
  if (riffs_.size() == 1) bytes += kChunkHeader + uint64_t{frames} * kLegacyIndexEntry;
  return bytes;
}

bool AviFile::WriteFrame(const uint8_t* pixels) {
  if (!open_) {
    if (error_.empty()) error_ = "no file is open";
    return false;
  }
  if (pixels == nullptr) return Fail("no picture");
  if (totalFrames_ == UINT32_MAX) return Fail("the file holds as many pictures as it can");
  if (riffs_.back().frames > 0 && RiffBytesWith(riffs_.back().frames + 1) > options_.riffLimit) {
    if (!CloseRiff() || !OpenRiff()) return false;
  }

  uint8_t header[kChunkHeader];
  PutFourCC(header, "00db");
  PutU32LE(header + 4, frameBytes_);
  bool written = out_.Append(header, sizeof header);
  if (written) {
    const std::size_t pictureBytes = std::size_t{rowBytes_} * height_;
    if (options_.holesForBlackPictures && pixels[0] == 0 && std::memcmp(pixels, pixels + 1, pictureBytes - 1) == 0) {
      written = out_.AppendZeros(frameBytes_);
    } else if (rowBuffer_.empty()) {
      written = out_.Append(pixels, frameBytes_);
    } else {
      for (uint32_t row = 0; row < height_; ++row)
        std::memcpy(rowBuffer_.data() + std::size_t{row} * strideBytes_, pixels + std::size_t{row} * rowBytes_,
                    rowBytes_);
      written = out_.Append(rowBuffer_.data(), rowBuffer_.size());
    }
  }
  if (!written) return Fail("cannot write the file");
  ++riffs_.back().frames;
  ++totalFrames_;
  return true;
}

bool AviFile::OpenRiff() {
  if (riffs_.size() >= options_.superIndexEntries) return Fail("the file has grown as large as it can");
  ChunkBuilder b;
  b.Begin("RIFF", "AVIX");
  b.Begin("LIST", "movi");
  Riff riff;
  riff.start = out_.Size();
  riff.moviStart = riff.start + 12;
  if (!out_.Append(b.bytes.data(), b.bytes.size())) return Fail("cannot write the file");
  riffs_.push_back(riff);
  return true;
}

bool AviFile::WriteIndexEntries(uint32_t frames, uint64_t firstChunk, uint64_t base, bool legacy) {
  const uint32_t entryBytes = legacy ? kLegacyIndexEntry : kStdIndexEntry;
  const uint32_t perBuffer = static_cast<uint32_t>(indexBuffer_.size() / entryBytes);
  const uint64_t chunkBytes = kChunkHeader + uint64_t{frameBytes_};
  for (uint32_t done = 0; done < frames;) {
    const uint32_t count = std::min(perBuffer, frames - done);
    uint8_t* p = indexBuffer_.data();
    for (uint32_t i = 0; i < count; ++i, ++done) {
      const uint64_t chunk = firstChunk + done * chunkBytes;
      if (legacy) {
        // Offsets of the chunk headers from the 'movi' type.
        PutFourCC(p, "00db");
        PutU32LE(p + 4, kAviifKeyframe);
        PutU32LE(p + 8, static_cast<uint32_t>(chunk - base));
        PutU32LE(p + 12, frameBytes_);
      } else {
        // Offsets of the chunk data from the base; a clear top bit of the
        // size marks a key frame.
        PutU32LE(p, static_cast<uint32_t>(chunk + kChunkHeader - base));
        PutU32LE(p + 4, frameBytes_);
      }
      p += entryBytes;
    }
    if (!out_.Append(indexBuffer_.data(), std::size_t{count} * entryBytes)) return false;
  }
  return true;
}

bool AviFile::CloseRiff() {
  Riff& riff = riffs_.back();
  const uint64_t base = riff.moviStart + 8;  // the 'movi' type
  const uint64_t firstChunk = riff.moviStart + 12;

  ChunkBuilder ix;
  ix.FourCC("ix00");
  ix.U32(kStdIndexHeader + riff.frames * kStdIndexEntry);
  ix.U16(2);  // 32-bit words per entry
  ix.U8(0);
  ix.U8(kIndexOfChunks);
  ix.U32(riff.frames);
  ix.FourCC("00db");
  ix.U64(base);
  ix.U32(0);
  riff.indexOffset = out_.Size();
  riff.indexSize = kChunkHeader + kStdIndexHeader + riff.frames * kStdIndexEntry;
  if (!out_.Append(ix.bytes.data(), ix.bytes.size()) || !WriteIndexEntries(riff.frames, firstChunk, base, false))
    return Fail("cannot write the file");
  const uint64_t moviEnd = out_.Size();

  if (riffs_.size() == 1) {
    uint8_t header[kChunkHeader];
    PutFourCC(header, "idx1");
    PutU32LE(header + 4, riff.frames * kLegacyIndexEntry);
    if (!out_.Append(header, sizeof header) || !WriteIndexEntries(riff.frames, firstChunk, base, true))
      return Fail("cannot write the file");
  }

  uint8_t size[4];
  PutU32LE(size, static_cast<uint32_t>(moviEnd - riff.moviStart - 8));
  const bool moviSized = out_.WriteAt(riff.moviStart + 4, size, 4);
  riff.end = out_.Size();
  PutU32LE(size, static_cast<uint32_t>(riff.end - riff.start - 8));
  if (!moviSized || !out_.WriteAt(riff.start + 4, size, 4)) return Fail("cannot write the file");
  return true;
}

std::vector<uint8_t> AviFile::Headers() const {
  const uint32_t firstFrames = riffs_.empty() ? 0 : riffs_.front().frames;
  const uint64_t usPerFrame = (uint64_t{1000000} * scale_ + rate_ / 2) / rate_;
  const uint64_t bytesPerSecond = ((kChunkHeader + uint64_t{frameBytes_}) * rate_ + scale_ - 1) / scale_;

  ChunkBuilder b;
  const std::size_t riffAt = b.Begin("RIFF", "AVI ");
  const std::size_t hdrlAt = b.Begin("LIST", "hdrl");

  const std::size_t avihAt = b.Begin("avih");
  b.U32(Clamp32(usPerFrame));
  b.U32(Clamp32(bytesPerSecond));
  b.U32(0);  // padding granularity
  b.U32(kAvifHasIndex);
  b.U32(firstFrames);  // pictures of the first RIFF; dmlh counts them all
  b.U32(0);            // initial frames
  b.U32(1);            // streams
  b.U32(frameBytes_);  // suggested buffer size
  b.U32(width_);
  b.U32(height_);
  b.Zeros(16);
  b.End(avihAt);

  const std::size_t strlAt = b.Begin("LIST", "strl");
  const std::size_t strhAt = b.Begin("strh");
  b.FourCC("vids");
  b.U32(0);  // handler
  b.U32(0);  // flags
  b.U16(0);  // priority
  b.U16(0);  // language
  b.U32(0);  // initial frames
  b.U32(scale_);
  b.U32(rate_);
  b.U32(0);  // start
  b.U32(totalFrames_);
  b.U32(frameBytes_);  // suggested buffer size
  b.U32(UINT32_MAX);   // quality: default
  b.U32(0);            // sample size: varies (one picture per chunk)
  b.U16(0);
  b.U16(0);
  b.U16(width_);
  b.U16(height_);
  b.End(strhAt);

  const std::size_t strfAt = b.Begin("strf");
  b.U32(40);
  b.U32(width_);
  b.U32(height_);  // positive: the bottom row comes first
  b.U16(1);        // planes
  b.U16(24);       // bits per pixel
  b.U32(0);        // uncompressed
  b.U32(frameBytes_);
  b.Zeros(16);  // pixels per metre, colours used and important
  b.End(strfAt);

  const std::size_t indxAt = b.Begin("indx");
  b.U16(4);  // 32-bit words per entry
  b.U8(0);
  b.U8(kIndexOfIndexes);
  b.U32(static_cast<uint32_t>(riffs_.size()));
  b.FourCC("00db");
  b.Zeros(12);
  for (const Riff& riff : riffs_) {
    b.U64(riff.indexOffset);
    b.U32(riff.indexSize);
    b.U32(riff.frames);
  }
  b.Zeros(std::size_t{options_.superIndexEntries - riffs_.size()} * kSuperIndexEntry);
  b.End(indxAt);

  const std::size_t strnAt = b.Begin("strn");
  b.bytes.insert(b.bytes.end(), kStreamName, kStreamName + sizeof kStreamName);
  b.End(strnAt);
  b.End(strlAt);

  const std::size_t odmlAt = b.Begin("LIST", "odml");
  const std::size_t dmlhAt = b.Begin("dmlh");
  b.U32(totalFrames_);
  b.Zeros(244);
  b.End(dmlhAt);
  b.End(odmlAt);
  b.End(hdrlAt);

  // The movi list header closes the headers; its size and the RIFF's are
  // known once the first RIFF is closed.
  b.Begin("LIST", "movi");
  if (!riffs_.empty() && riffs_.front().end != 0) {
    const Riff& first = riffs_.front();
    PutU32LE(b.bytes.data() + b.bytes.size() - 8,
             static_cast<uint32_t>(first.indexOffset + first.indexSize - first.moviStart - 8));
    PutU32LE(b.bytes.data() + riffAt, static_cast<uint32_t>(first.end - 8));
  }
  return b.bytes;
}

bool AviFile::Finish() {
  if (!open_) {
    if (error_.empty()) error_ = "no file is open";
    return false;
  }
  if (totalFrames_ == 0) return Fail("no picture was written");
  if (!CloseRiff()) return false;
  const std::vector<uint8_t> headers = Headers();
  if (!out_.WriteAt(0, headers.data(), headers.size())) return Fail("cannot write the file");
  open_ = false;
  return out_.Publish(&path_, &error_);
}

void AviFile::Abort() {
  out_.Discard();
  open_ = false;
}

bool AviFile::Fail(const std::string& message) {
  error_ = message;
  Abort();
  return false;
}

}  // namespace tsv
