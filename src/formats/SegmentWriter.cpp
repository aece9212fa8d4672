#include "formats/SegmentWriter.h"

#include "platform/ByteIO.h"

namespace tsv {

std::unique_ptr<SegmentOutput> SegmentWriter::Begin(const std::string& folder, const SYSTEMTIME& first,
                                                    const char* ext, const uint8_t* lead, std::size_t leadSize) {
  index_.clear();
  nextOffset_ = static_cast<uint32_t>(leadSize);
  failed_ = false;
  auto out = SegmentOutput::Create(folder, SegmentStem(first), ext);
  if (!out || !out->file().Write(lead, leadSize)) return nullptr;
  return out;
}

bool SegmentWriter::Admit(const SegmentOutput* out, uint32_t framesWritten, uint32_t sourceFrameNumber,
                          std::size_t sourceEntries) {
  if (out && framesWritten < sourceEntries && sourceFrameNumber >= 1 && sourceFrameNumber <= sourceEntries &&
      framesWritten == index_.size())
    return true;
  failed_ = true;
  return false;
}

uint32_t SegmentWriter::Write(SegmentOutput* out, const uint8_t* header, std::size_t headerSize,
                              const uint8_t* payload, uint32_t length, uint32_t type) {
  if (!out->file().Write(header, headerSize) || !out->file().Write(payload, length)) failed_ = true;
  index_.push_back({nextOffset_, type});
  nextOffset_ += static_cast<uint32_t>(headerSize) + length;
  return static_cast<uint32_t>(index_.size());
}

bool SegmentWriter::End(SegmentOutput* out, uint32_t frameCount, std::vector<uint8_t> header,
                        std::size_t countOffset) {
  if (!out) return false;
  bool ok = !failed_ && frameCount == index_.size() && countOffset + 4 <= header.size();
  const std::vector<uint8_t> tail = SerializeIndexTail(index_, frameCount);
  if (ok) PutU32LE(header.data() + countOffset, frameCount);
  ok = ok && out->file().Write(tail.data(), tail.size());
  ok = ok && out->file().Seek(0, File::Origin::Begin) && out->file().Write(header.data(), header.size());
  ok = ok && out->Finish();
  index_.clear();
  return ok;
}

}  // namespace tsv
