// The ".vse" writer: 80-byte header and 0xFFFF, frames each behind a
// variable-length QRV frame header, then the index (frame-header offset,
// type 0x1001 or 0 key / 0x1002 predicted / 0x8000 sound) and the u32
// entry count.
#include <cstdint>
#include <vector>

#include "platform/ByteIO.h"
#include "synth/RecordingWriter.h"

namespace tsv {

namespace {

// Fields of a picture frame header; a sound frame header has no size.
constexpr uint32_t kPictureFlags = kQrvHasFrameNumber | kQrvHasPayloadSize | kQrvHasWidth | kQrvHasHeight |
                                   kQrvHasFrameTime | kQrvHasChannel;
constexpr uint32_t kSoundFlags = kQrvHasFrameNumber | kQrvHasPayloadSize | kQrvHasFrameTime | kQrvHasChannel;
constexpr uint8_t kExtra2 = 0x5A;  // arbitrary; players carry it through

class QrvRecordingWriter final : public RecordingWriter {
 public:
  QrvRecordingWriter(OutputFile& out, const QrvFileHeader& header, const QrvWriterSettings& settings)
      : out_(out), header_(header), settings_(settings) {
    index_.reserve(header.frameCount);
  }

  bool Begin(std::string* error) override {
    uint8_t bytes[kQrvFirstFrameOffset];
    SerializeQrvFileHeader(header_, bytes);
    PutU16LE(bytes + kQrvHeaderSize, kQrvTerminator);
    return Check(out_.Write(bytes, sizeof bytes), error);
  }

  bool Add(const SynthFrame& frame, std::string* error) override {
    if (index_.size() >= header_.frameCount) {
      *error = "more frames than the header announces";
      return false;
    }
    QrvFrameHeader h;
    h.flags = frame.sound ? kSoundFlags : kPictureFlags;
    if (settings_.extraBytes) h.flags |= kQrvHasExtra1 | kQrvHasExtra2;
    h.frameNumber = static_cast<uint32_t>(index_.size() + 1);
    h.payloadSize = static_cast<uint32_t>(frame.payload->size());
    h.width = settings_.width;
    h.height = settings_.height;
    h.frameTime = frame.timeMs;
    h.channel = settings_.channel;
    h.extra1 = static_cast<uint8_t>(h.frameNumber);
    h.extra2 = kExtra2;

    RecIndexEntry entry;
    entry.offset = static_cast<uint32_t>(out_.Size());
    if (frame.sound) entry.type = kQrvAudioFrame;
    else if (frame.key) entry.type = settings_.zeroKeyType ? kQrvKeyFrame : kQrvKeyFrameAlt;
    else entry.type = kQrvPredictedFrame;
    if (out_.Size() > UINT32_MAX - kQrvFrameHeaderMaxSize - frame.payload->size()) {
      *error = "recording larger than 4 GiB";
      return false;
    }
    uint8_t bytes[kQrvFrameHeaderMaxSize];
    const std::size_t length = SerializeQrvFrameHeader(h, bytes);
    if (!Check(out_.Write(bytes, length) && out_.Write(frame.payload->data(), frame.payload->size()), error))
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
  QrvFileHeader header_;
  QrvWriterSettings settings_;
  std::vector<RecIndexEntry> index_;
};

}  // namespace

std::unique_ptr<RecordingWriter> MakeQrvRecordingWriter(OutputFile& out, const QrvFileHeader& header,
                                                        const QrvWriterSettings& settings) {
  return std::make_unique<QrvRecordingWriter>(out, header, settings);
}

}  // namespace tsv
