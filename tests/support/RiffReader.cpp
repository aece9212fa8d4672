#include "support/RiffReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace tsv::test {

namespace {

uint16_t U16(const std::vector<uint8_t>& b, std::size_t at) {
  return at + 2 <= b.size() ? static_cast<uint16_t>(b[at] | (b[at + 1] << 8)) : 0;
}

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
  return at + 4 <= b.size() ? static_cast<uint32_t>(U16(b, at)) | (static_cast<uint32_t>(U16(b, at + 2)) << 16) : 0;
}

uint64_t U64(const std::vector<uint8_t>& b, std::size_t at) {
  return static_cast<uint64_t>(U32(b, at)) | (static_cast<uint64_t>(U32(b, at + 4)) << 32);
}

std::string FourCC(const std::vector<uint8_t>& b, std::size_t at) {
  return at + 4 <= b.size() ? std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4)
                            : std::string();
}

}  // namespace

const RiffChunk* RiffChunk::Find(const std::string& childId, const std::string& childType) const {
  for (const RiffChunk& child : children)
    if (child.id == childId && (childType.empty() || child.type == childType)) return &child;
  return nullptr;
}

RiffReader::RiffReader(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error_ = "cannot open " + path;
    return;
  }
  fileSize_ = static_cast<uint64_t>(st.st_size);
  Walk(0, fileSize_, 0, &riffs_);
  if (error_.empty() && riffs_.empty()) error_ = "no RIFF list";
}

RiffReader::~RiffReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::vector<uint8_t> RiffReader::Read(uint64_t offset, std::size_t size) const {
  std::vector<uint8_t> bytes(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

bool RiffReader::Walk(uint64_t begin, uint64_t end, int depth, std::vector<RiffChunk>* into) {
  uint64_t pos = begin;
  while (pos < end) {
    const std::vector<uint8_t> header = Read(pos, 12);
    if (end - pos < 8 || header.size() < 8) {
      error_ = "a chunk header at " + std::to_string(pos) + " is cut off";
      return false;
    }
    RiffChunk chunk;
    chunk.id = FourCC(header, 0);
    chunk.size = U32(header, 4);
    chunk.offset = pos;
    const uint64_t chunkEnd = pos + 8 + chunk.size;
    if (chunkEnd > end) {
      error_ = "chunk " + chunk.id + " at " + std::to_string(pos) + " runs past its container";
      return false;
    }
    if (depth == 0 && chunk.id != "RIFF") {
      error_ = "a top-level chunk is not a RIFF list";
      return false;
    }
    if (chunk.id == "RIFF" || chunk.id == "LIST") {
      if (chunk.size < 4) {
        error_ = "list at " + std::to_string(pos) + " has no type";
        return false;
      }
      chunk.type = FourCC(header, 8);
      if (!Walk(pos + 12, chunkEnd, depth + 1, &chunk.children)) return false;
    }
    into->push_back(std::move(chunk));
    pos = chunkEnd + (chunkEnd % 2);
  }
  return true;
}

AviLayout ReadAviLayout(const RiffReader& riff) {
  AviLayout avi;
  auto problem = [&](const std::string& text) { avi.problems.push_back(text); };
  if (!riff.error().empty()) {
    problem(riff.error());
    return avi;
  }
  const RiffChunk& first = riff.riffs().front();
  const RiffChunk* hdrl = first.Find("LIST", "hdrl");
  const RiffChunk* strl = hdrl ? hdrl->Find("LIST", "strl") : nullptr;
  const RiffChunk* odml = hdrl ? hdrl->Find("LIST", "odml") : nullptr;
  const RiffChunk* avih = hdrl ? hdrl->Find("avih") : nullptr;
  const RiffChunk* strh = strl ? strl->Find("strh") : nullptr;
  const RiffChunk* strf = strl ? strl->Find("strf") : nullptr;
  const RiffChunk* indx = strl ? strl->Find("indx") : nullptr;
  const RiffChunk* strn = strl ? strl->Find("strn") : nullptr;
  const RiffChunk* dmlh = odml ? odml->Find("dmlh") : nullptr;
  if (first.type != "AVI " || !avih || !strh || !strf || !indx || !strn || !dmlh) {
    problem("headers missing");
    return avi;
  }

  const std::vector<uint8_t> h = riff.Data(*avih);
  avi.usPerFrame = U32(h, 0);
  avi.avihFlags = U32(h, 12);
  avi.avihFrames = U32(h, 16);
  avi.streams = U32(h, 24);
  avi.width = U32(h, 32);
  avi.height = U32(h, 36);
  const std::vector<uint8_t> s = riff.Data(*strh);
  avi.streamType = FourCC(s, 0);
  avi.scale = U32(s, 20);
  avi.rate = U32(s, 24);
  avi.length = U32(s, 32);
  avi.suggestedBuffer = U32(s, 36);
  avi.quality = U32(s, 40);
  for (int i = 0; i < 4; ++i) avi.frameRect[i] = static_cast<int16_t>(U16(s, 48 + 2 * i));
  avi.bitmapHeader = riff.Data(*strf);
  const std::vector<uint8_t> name = riff.Data(*strn);
  avi.streamName.assign(name.begin(), std::find(name.begin(), name.end(), 0));
  avi.dmlhFrames = U32(riff.Data(*dmlh), 0);

  // Super index -> standard indexes -> picture chunks.
  const std::vector<uint8_t> super = riff.Data(*indx);
  const uint32_t inUse = U32(super, 4);
  if (super.size() < 24 || U16(super, 0) != 4 || super[3] != 0x00 || FourCC(super, 8) != "00db" ||
      24 + 16ull * inUse > super.size())
    problem("super index header");
  for (uint32_t e = 0; e < inUse && 24 + 16ull * (e + 1) <= super.size(); ++e) {
    const uint64_t ixOffset = U64(super, 24 + 16 * e);
    const uint32_t ixSize = U32(super, 32 + 16 * e);
    const uint32_t duration = U32(super, 36 + 16 * e);
    const std::vector<uint8_t> ix = riff.Read(ixOffset, ixSize);
    const uint32_t entries = U32(ix, 12);
    if (ix.size() < 32 || ix.size() != ixSize || FourCC(ix, 0) != "ix00" || U32(ix, 4) + 8 != ixSize ||
        U16(ix, 8) != 2 || ix[11] != 0x01 || FourCC(ix, 16) != "00db" || 32 + 8ull * entries != ixSize ||
        entries != duration) {
      problem("super index entry " + std::to_string(e) + " does not point at a standard index");
      continue;
    }
    const uint64_t base = U64(ix, 20);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint64_t data = base + U32(ix, 32 + 8 * i);
      const uint32_t size = U32(ix, 36 + 8 * i);
      const std::vector<uint8_t> chunk = riff.Read(data - 8, 8);
      if (FourCC(chunk, 0) != "00db" || U32(chunk, 4) != (size & 0x7FFFFFFFu) || (size & 0x80000000u) != 0)
        problem("index entry " + std::to_string(i) + " of index " + std::to_string(e));
      avi.pictureOffsets.push_back(data);
      avi.pictureSizes.push_back(size & 0x7FFFFFFFu);
    }
    avi.picturesPerRiff.push_back(entries);
  }
  if (inUse != riff.riffs().size()) problem("super index entries and RIFF lists disagree");

  // Every RIFF's movi list holds as many pictures as its index lists.
  for (std::size_t r = 0; r < riff.riffs().size(); ++r) {
    const RiffChunk& list = riff.riffs()[r];
    avi.riffTypes.push_back(list.type);
    const RiffChunk* movi = list.Find("LIST", "movi");
    uint32_t pictures = 0;
    if (movi)
      for (const RiffChunk& c : movi->children) pictures += c.id == "00db";
    if (!movi || r >= avi.picturesPerRiff.size() || pictures != avi.picturesPerRiff[r])
      problem("RIFF " + std::to_string(r) + " holds other pictures than its index lists");
  }

  // The legacy index covers the first RIFF, offsets from the 'movi' type.
  const RiffChunk* movi = first.Find("LIST", "movi");
  const RiffChunk* idx1 = first.Find("idx1");
  if (!idx1 || !movi) {
    problem("no legacy index");
  } else {
    const std::vector<uint8_t> legacy = riff.Data(*idx1);
    avi.legacyEntries = static_cast<uint32_t>(legacy.size() / 16);
    for (std::size_t i = 0; i < avi.legacyEntries; ++i) {
      const uint64_t at = movi->dataOffset() + U32(legacy, 16 * i + 8);
      if (FourCC(legacy, 16 * i) != "00db" || (U32(legacy, 16 * i + 4) & 0x10) == 0 || i >= avi.pictureOffsets.size() ||
          at + 8 != avi.pictureOffsets[i] || U32(legacy, 16 * i + 12) != avi.pictureSizes[i])
        problem("legacy index entry " + std::to_string(i));
    }
  }
  return avi;
}

}  // namespace tsv::test
