// Writing a stretch of a ".vse" recording into a new ".vse" file: the
// source header and terminator, the frames with their headers rewritten
// from the records, a new index, the frame count.
#include "formats/CZKQRV.h"
#include "platform/ByteIO.h"

namespace tsv {

std::unique_ptr<SegmentOutput> CZKQRV::CreateVsxFileAndFormat(uint32_t slot) {
  SYSTEMTIME first = header_.startTimestamp;
  GetCurrentFrameTimestamp(slot, &first, true);
  uint8_t lead[kQrvFirstFrameOffset];
  std::copy(rawHeader_.begin(), rawHeader_.end(), lead);
  PutU16LE(lead + kQrvHeaderSize, kQrvTerminator);
  return segment_.Begin(state_->snapshotFolder, first, ".vse", lead, sizeof lead);
}

uint32_t CZKQRV::WriteVsxCurrentFrame(SegmentOutput* out, const uint8_t* payload, uint32_t length, uint32_t slot,
                                      uint32_t sourceFrameNumber, uint32_t framesWritten) {
  if (!segment_.Admit(out, framesWritten, sourceFrameNumber, index_.size())) return framesWritten;
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
  return segment_.Write(out, bytes, headerLength, payload, length, index_[sourceFrameNumber - 1].type);
}

bool CZKQRV::EndOfVsxFile(SegmentOutput* out, uint32_t frameCount) {
  return segment_.End(out, frameCount, std::vector<uint8_t>(rawHeader_.begin(), rawHeader_.end()), 48);
}

}  // namespace tsv
