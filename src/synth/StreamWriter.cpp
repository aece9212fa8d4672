// Writes synthesized frames as a raw stream: ".mp4" stream files, ".QRV"
// streams and recorder disc images.
#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/DiscImporter.h"
#include "formats/PesPacket.h"
#include "platform/OpticalDrive.h"
#include "synth/RecordingWriter.h"

namespace tsv {

namespace {

constexpr uint8_t kDiscSignature[] = {0x00, 0x00, 0x01, 0xE0};
constexpr uint8_t kDiscFiller = 0xA5;  // the unlisted sector between runs: no start code in it

class StreamRecordingWriter final : public RecordingWriter {
 public:
  StreamRecordingWriter(OutputFile& out, const StreamWriterSettings& s) : out_(out), s_(s) {}

  bool Begin(std::string* error) override {
    if (s_.form == StreamForm::Mp4) {
      uint8_t head[kStreamHeadSize];
      SerializeStreamHead(s_.head, head);
      return Check(out_.Write(head, sizeof head), error);
    }
    if (s_.form == StreamForm::Disc) {
      std::vector<uint8_t> first(kOpticalSectorSize, 0);
      std::copy(std::begin(kDiscSignature), std::end(kDiscSignature), first.begin());
      if (!Check(out_.Write(first.data(), first.size()), error)) return false;
      nextSector_ = 1;
      runFirst_ = 1;
    }
    return true;
  }

  bool Add(const SynthFrame& frame, std::string* error) override {
    packet_ = *frame.payload;
    if (packet_.size() % 2 != 0) {
      packet_.push_back(0);
      Write22Bit(packet_.data() + kPacketLengthAt, static_cast<uint32_t>(packet_.size()));
    }
    SwapWords(packet_.data(), packet_.data(), packet_.size());
    if (s_.form != StreamForm::Disc) return Check(out_.Write(packet_.data(), packet_.size()), error);
    for (std::size_t at = 0; at < packet_.size();) {
      const std::size_t n = std::min(packet_.size() - at, kOpticalSectorSize - sector_.size());
      sector_.insert(sector_.end(), packet_.begin() + static_cast<std::ptrdiff_t>(at),
                     packet_.begin() + static_cast<std::ptrdiff_t>(at + n));
      at += n;
      if (sector_.size() == kOpticalSectorSize && !PutSector(error)) return false;
    }
    return true;
  }

  bool Finish(std::string* error) override {
    if (s_.form != StreamForm::Disc) return true;
    if (!sector_.empty()) {
      sector_.resize(kOpticalSectorSize, 0);  // zeros after the last packet hold no start code
      if (!PutSector(error)) return false;
    }
    if (inRun_ > 0) runs_.push_back({runFirst_, inRun_});
    if (runs_.size() > (kOpticalSectorSize - kDiscDirectoryHead) / kDiscRunSize) {
      *error = "the stream needs " + std::to_string(runs_.size()) + " runs, more than a directory sector holds" +
               " (raise --disc-run-sectors)";
      return false;
    }
    const std::vector<uint8_t> directory = SerializeDiscDirectory(runs_, kOpticalSectorSize);
    return Check(out_.Write(directory.data(), directory.size()), error);
  }

 private:
  // Writes the gathered sector as the next one of the current run, after
  // closing a full run with an unlisted filler sector.
  bool PutSector(std::string* error) {
    if (inRun_ == s_.discRunSectors) {
      runs_.push_back({runFirst_, inRun_});
      const std::vector<uint8_t> filler(kOpticalSectorSize, kDiscFiller);
      if (!Check(out_.Write(filler.data(), filler.size()), error)) return false;
      ++nextSector_;
      runFirst_ = nextSector_;
      inRun_ = 0;
    }
    if (!Check(out_.Write(sector_.data(), sector_.size()), error)) return false;
    sector_.clear();
    ++nextSector_;
    ++inRun_;
    return true;
  }

  static bool Check(bool ok, std::string* error) {
    if (!ok) *error = "cannot write the stream";
    return ok;
  }

  OutputFile& out_;
  StreamWriterSettings s_;
  std::vector<uint8_t> packet_;
  // Disc images only.
  std::vector<uint8_t> sector_;  // the sector being filled
  std::vector<DiscRun> runs_;
  uint32_t nextSector_ = 0;
  uint32_t runFirst_ = 0;
  uint32_t inRun_ = 0;
};

}  // namespace

std::unique_ptr<RecordingWriter> MakeStreamRecordingWriter(OutputFile& out, const StreamWriterSettings& settings) {
  return std::make_unique<StreamRecordingWriter>(out, settings);
}

}  // namespace tsv
