// Writing a stretch of a ".vs4" recording into a new ".vs4" file: the
// source header, the frames as read, a new index, the frame count.
#include "formats/CVsxFile.h"

namespace tsv {

std::unique_ptr<SegmentOutput> CVsxFile::CreateVsxFileAndFormat(uint32_t slot) {
  return segment_.Begin(state_->snapshotFolder, frames_[slot % kRingSlots].timestamp, ".vs4", rawHeader_.data(),
                        rawHeader_.size());
}

uint32_t CVsxFile::WriteVsxCurrentFrame(SegmentOutput* out, const uint8_t* payload, uint32_t length, uint32_t slot,
                                        uint32_t sourceFrameNumber, uint32_t framesWritten) {
  if (!segment_.Admit(out, framesWritten, sourceFrameNumber, index_.size())) return framesWritten;
  FrameInfo& info = frames_[slot % kRingSlots];
  info.frameNumber = framesWritten + 1;
  uint8_t bytes[kFrameInfoSize];
  SerializeFrameInfo(info, bytes);
  return segment_.Write(out, bytes, sizeof bytes, payload, length, index_[sourceFrameNumber - 1].type);
}

bool CVsxFile::EndOfVsxFile(SegmentOutput* out, uint32_t frameCount) {
  return segment_.End(out, frameCount, std::vector<uint8_t>(rawHeader_.begin(), rawHeader_.end()), 0);
}

}  // namespace tsv
