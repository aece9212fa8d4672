// The ".vs4" writer: 76-byte header, frames each behind a 48-byte FrameInfo,
// then the index (FrameInfo offset, type 0 sound / 1 or 3 key / 2
// predicted) and the u32 entry count.
#include <cstdint>
#include <vector>

#include "platform/ByteIO.h"
#include "synth/RecordingWriter.h"

namespace tsv {

namespace {

class VsxRecordingWriter final : public RecordingWriter {
 public:
  VsxRecordingWriter(OutputFile& out, const VsxFileHeader& header, uint8_t channel, bool alternateKeyType)
      : out_(out), header_(header), channel_(channel), alternateKeyType_(alternateKeyType) {
    index_.reserve(header.frameCount);
  }

  bool Begin(std::string* error) override {
    uint8_t bytes[kVsxHeaderSize];
    SerializeVsxFileHeader(header_, bytes);
    return Check(out_.Write(bytes, sizeof bytes), error);
  }

  bool Add(const SynthFrame& frame, std::string* error) override {
    if (index_.size() >= header_.frameCount) {
      *error = "more frames than the header announces";
      return false;
    }
    FrameInfo info;
    info.frameNumber = static_cast<uint32_t>(index_.size() + 1);
    info.payloadSize = static_cast<uint32_t>(frame.payload->size());
    info.timerInterval = frame.intervalMs;
    info.formatTag = header_.magic;
    info.resolutionCode = header_.resolutionCode;
    info.channel = channel_;
    info.timestamp = frame.timestamp;
    if (frame.sound) info.adpcm = frame.adpcm;

    RecIndexEntry entry;
    entry.offset = static_cast<uint32_t>(out_.Size());
    if (frame.sound) {
      entry.type = kVsxAudioFrame;
    } else if (frame.key) {
      entry.type = alternateKeyType_ && (keyCount_++ % 2 == 1) ? kVsxKeyFrameAlt : kVsxKeyFrame;
    } else {
      entry.type = kVsxPredictedFrame;
    }
    if (out_.Size() > UINT32_MAX - kFrameInfoSize - frame.payload->size()) {
      *error = "recording larger than 4 GiB";
      return false;
    }
    uint8_t bytes[kFrameInfoSize];
    SerializeFrameInfo(info, bytes);
    if (!Check(out_.Write(bytes, sizeof bytes) && out_.Write(frame.payload->data(), frame.payload->size()), error))
      return false;
    index_.push_back(entry);
    return true;
  }

  bool Finish(std::string* error) override {
    if (index_.size() != header_.frameCount) {
      *error = "fewer frames than the header announces";
      return false;
    }
    const std::vector<uint8_t> bytes = SerializeIndexTail(index_, static_cast<uint32_t>(index_.size()));
    return Check(out_.Write(bytes.data(), bytes.size()), error);
  }

 private:
  static bool Check(bool ok, std::string* error) {
    if (!ok) *error = "cannot write the recording";
    return ok;
  }

  OutputFile& out_;
  VsxFileHeader header_;
  uint8_t channel_;
  bool alternateKeyType_;
  uint32_t keyCount_ = 0;
  std::vector<RecIndexEntry> index_;
};

}  // namespace

std::unique_ptr<RecordingWriter> MakeVsxRecordingWriter(OutputFile& out, const VsxFileHeader& header,
                                                        uint8_t channel, bool alternateKeyType) {
  return std::make_unique<VsxRecordingWriter>(out, header, channel, alternateKeyType);
}

}  // namespace tsv
