// Writing a stretch of a ".vse" recording into a new ".vse" file: the
// source header and terminator, the frames with their headers rewritten
// from the records, a new index, the frame count.
#include "formats/CZKQRV.h"
#include "platform/ByteIO.h"

namespace tsv {

std::unique_ptr<SegmentOutput> CZKQRV::CreateVsxFileAndFormat(uint32_t slot) {
  SYSTEMTIME first = header_.startTimestamp;
  GetCurrentFrameTimestamp(slot, &first, true);
  auto out = SegmentOutput::Create(state_->snapshotFolder, SegmentStem(first), ".vse");
  if (!out) return nullptr;
  uint8_t terminator[2];
  PutU16LE(terminator, kQrvTerminator);
  if (!out->file().Write(rawHeader_.data(), rawHeader_.size()) || !out->file().Write(terminator, 2)) return nullptr;
  outIndex_.clear();
  writerFrameCount_ = 0;
  writerNextOffset_ = kQrvFirstFrameOffset;
  writerFailed_ = false;
  return out;
}

uint32_t CZKQRV::WriteVsxCurrentFrame(SegmentOutput* out, const uint8_t* payload, uint32_t length, uint32_t slot,
                                      uint32_t sourceFrameNumber, uint32_t framesWritten) {
  if (!out || framesWritten >= index_.size() || sourceFrameNumber == 0 || sourceFrameNumber > index_.size() ||
      framesWritten != outIndex_.size()) {
    writerFailed_ = true;
    return framesWritten;
  }
  QrvFrameHeader& h = records_[slot % kRingSlots].header;
  h.frameNumber = framesWritten + 1;
  // A field a frame header leaves out is taken from the slot's earlier
  // frame, and a segment's frames land in other slots than the source's:
  // the new number and the size of the payload written are always stored.
  QrvFrameHeader written = h;
  written.flags |= kQrvHasFrameNumber | kQrvHasPayloadSize;
  written.payloadSize = length;
  uint8_t bytes[kQrvFrameHeaderMaxSize];
  const std::size_t headerLength = SerializeQrvFrameHeader(written, bytes);
  if (!out->file().Write(bytes, headerLength) || !out->file().Write(payload, length)) writerFailed_ = true;
  outIndex_.push_back({writerNextOffset_, index_[sourceFrameNumber - 1].type});
  writerFrameCount_ = framesWritten + 1;
  writerNextOffset_ += static_cast<uint32_t>(headerLength) + length;
  return writerFrameCount_;
}

bool CZKQRV::EndOfVsxFile(SegmentOutput* out, uint32_t frameCount) {
  if (!out) return false;
  bool ok = !writerFailed_ && frameCount == outIndex_.size();
  std::vector<uint8_t> tail(outIndex_.size() * kIndexEntrySize + 4);
  for (std::size_t i = 0; i < outIndex_.size(); ++i) SerializeIndexEntry(outIndex_[i], tail.data() + i * kIndexEntrySize);
  PutU32LE(tail.data() + tail.size() - 4, frameCount);
  std::array<uint8_t, kQrvHeaderSize> header = rawHeader_;
  PutU32LE(header.data() + 48, frameCount);
  ok = ok && out->file().Write(tail.data(), tail.size());
  ok = ok && out->file().Seek(0, File::Origin::Begin) && out->file().Write(header.data(), header.size());
  ok = ok && out->Finish();
  outIndex_.clear();
  return ok;
}

}  // namespace tsv
