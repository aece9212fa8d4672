// Writing a stretch of a ".vs4" recording into a new ".vs4" file: the
// source header, the frames as read, a new index, the frame count.
#include "formats/CVsxFile.h"
#include "platform/ByteIO.h"

namespace tsv {

std::unique_ptr<SegmentOutput> CVsxFile::CreateVsxFileAndFormat(uint32_t slot) {
  auto out = SegmentOutput::Create(state_->snapshotFolder, SegmentStem(frames_[slot % kRingSlots].timestamp), ".vs4");
  if (!out) return nullptr;
  if (!out->file().Write(rawHeader_.data(), rawHeader_.size())) return nullptr;
  outIndex_.clear();
  writerFrameCount_ = 0;
  writerNextOffset_ = kVsxHeaderSize;
  writerFailed_ = false;
  return out;
}

uint32_t CVsxFile::WriteVsxCurrentFrame(SegmentOutput* out, const uint8_t* payload, uint32_t length, uint32_t slot,
                                        uint32_t sourceFrameNumber, uint32_t framesWritten) {
  // The output index holds at most as many entries as the source index; a
  // frame without a source entry has no type to copy.
  if (!out || framesWritten >= index_.size() || sourceFrameNumber == 0 || sourceFrameNumber > index_.size() ||
      framesWritten != outIndex_.size()) {
    writerFailed_ = true;
    return framesWritten;
  }
  FrameInfo& info = frames_[slot % kRingSlots];
  info.frameNumber = framesWritten + 1;
  uint8_t bytes[kFrameInfoSize];
  SerializeFrameInfo(info, bytes);
  if (!out->file().Write(bytes, sizeof bytes) || !out->file().Write(payload, length)) writerFailed_ = true;
  outIndex_.push_back({writerNextOffset_, index_[sourceFrameNumber - 1].type});
  writerFrameCount_ = framesWritten + 1;
  writerNextOffset_ += static_cast<uint32_t>(kFrameInfoSize) + length;
  return writerFrameCount_;
}

bool CVsxFile::EndOfVsxFile(SegmentOutput* out, uint32_t frameCount) {
  if (!out) return false;
  // A count that disagrees with the frames written would make an index
  // that points at nothing: such a segment is not published.
  bool ok = !writerFailed_ && frameCount == outIndex_.size();
  std::vector<uint8_t> tail(outIndex_.size() * kIndexEntrySize + 4);
  for (std::size_t i = 0; i < outIndex_.size(); ++i) SerializeIndexEntry(outIndex_[i], tail.data() + i * kIndexEntrySize);
  PutU32LE(tail.data() + tail.size() - 4, frameCount);
  std::array<uint8_t, kVsxHeaderSize> header = rawHeader_;
  PutU32LE(header.data(), frameCount);
  ok = ok && out->file().Write(tail.data(), tail.size());
  ok = ok && out->file().Seek(0, File::Origin::Begin) && out->file().Write(header.data(), header.size());
  ok = ok && out->Finish();
  outIndex_.clear();
  return ok;
}

}  // namespace tsv
