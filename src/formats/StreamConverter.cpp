#include "formats/StreamConverter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/PesPacket.h"
#include "formats/Resolution.h"
#include "formats/StringTable.h"
#include "formats/VsxLayout.h"
#include "platform/ByteIO.h"
#include "platform/OutputFile.h"

namespace tsv {

namespace {

constexpr uint32_t kVideoObjectStart = 0x00010000;  // the bytes 00 00 01 00 read little-endian
constexpr std::size_t kOutputBlock = 1u << 20;       // bytes gathered before one write
constexpr std::size_t kMinReadBlock = 64;
constexpr uint8_t kConvertedRecordStyle = 1;         // "Trigger Record"
constexpr uint64_t kMaxVsxSize = 0xFFFFFFFFull;      // index offsets are 32-bit

// A window on the source: bytes [start_, start_ + len_) are in buf_. Reads
// go forward in blocks; the bytes still needed are moved to the front, so
// a packet that crosses a block end is read once.
class BlockReader {
 public:
  BlockReader(StreamInput& input, std::size_t block) : input_(input), block_(std::max(block, kMinReadBlock)) {}

  // Makes at least `need` bytes from pos available unless the source ends
  // first. Returns the bytes available from pos (possibly more than need),
  // or -1 on a read error.
  long long Ensure(uint64_t pos, std::size_t need) {
    std::size_t keep = 0;
    if (pos >= start_ && pos - start_ <= len_) {
      keep = len_ - static_cast<std::size_t>(pos - start_);
      if (keep >= need || windowReachesEnd_) return static_cast<long long>(keep);
      if (keep > 0) std::memmove(buf_.data(), buf_.data() + (pos - start_), keep);
    }
    // A block, but no more than the source still holds.
    const uint64_t left = input_.Size() > pos + keep ? input_.Size() - pos - keep : 0;
    const std::size_t want = std::max(need, keep + static_cast<std::size_t>(std::min<uint64_t>(block_, left)));
    if (buf_.size() < want) buf_.resize(want);
    const long long got = input_.ReadAt(pos + keep, buf_.data() + keep, want - keep);
    if (got < 0) return -1;
    start_ = pos;
    len_ = keep + static_cast<std::size_t>(got);
    windowReachesEnd_ = len_ < want;
    return static_cast<long long>(len_);
  }

  const uint8_t* At(uint64_t pos) const { return buf_.data() + (pos - start_); }

  // The first stored packet start at or after pos: its position, -1 when
  // the source has none, -2 on a read error.
  long long FindPacketStart(uint64_t pos) {
    for (;;) {
      const long long have = Ensure(pos, 4);
      if (have < 0) return -2;
      if (have < 4) return -1;
      const uint8_t* b = At(pos);
      const uint8_t* end = b + have;
      // The last byte of a start is 01: let memchr find the candidates.
      for (const uint8_t* q = b + 3; q < end;) {
        q = static_cast<const uint8_t*>(std::memchr(q, 0x01, static_cast<std::size_t>(end - q)));
        if (q == nullptr) break;
        if (IsStoredPacketStart(q - 3)) return static_cast<long long>(pos + static_cast<uint64_t>(q - 3 - b));
        ++q;
      }
      pos += static_cast<uint64_t>(have - 3);
    }
  }

 private:
  StreamInput& input_;
  std::size_t block_;
  std::vector<uint8_t> buf_;
  uint64_t start_ = 0;
  std::size_t len_ = 0;
  bool windowReachesEnd_ = false;
};

// Reports each new percentage once; 100 is kept for the finished task.
class Progress {
 public:
  Progress(const ProgressFn& fn, uint64_t size) : fn_(fn), size_(size) {}
  void At(uint64_t pos) {
    const int percent = size_ == 0 ? 0 : static_cast<int>(std::min<uint64_t>(99, pos * 100 / size_));
    if (percent == last_ || !fn_) return;
    last_ = percent;
    fn_(percent);
  }
  void Done() {
    if (fn_) fn_(100);
  }

 private:
  const ProgressFn& fn_;
  uint64_t size_;
  int last_ = -1;
};

// Index type of a converted frame: key pictures 1, other pictures 2, and 0
// for a packet without a picture start (sound).
uint32_t IndexTypeOf(const PesScan& scan) {
  if ((scan.found & kPesFoundPictureType) == 0) return kVsxAudioFrame;
  return scan.pictureType == 1 ? kVsxKeyFrame : kVsxPredictedFrame;
}

class Converter {
 public:
  Converter(StreamInput& input, const ConvertSettings& s, VsxOutput& output, const std::atomic<bool>& stop,
            const ProgressFn& progress, ConvertReport& report)
      : input_(input),
        s_(s),
        output_(output),
        stop_(stop),
        reader_(input, s.readBlock),
        progress_(progress, input.Size()),
        report_(report),
        pending_(new uint8_t[kOutputBlock + kFrameInfoSize + kMaxStreamPacket + 2]) {}

  void Run() {
    const uint64_t size = input_.Size();
    uint64_t pos = s_.kind == StreamKind::Mp4 ? kStreamHeadSize : 0;
    uint64_t expected = pos;  // where the next packet should start
    bool converting = false;  // set at the first picture with stream headers
    for (;;) {
      if (stop_.load(std::memory_order_relaxed)) return Fail(ConvertStatus::Stopped, "stopped");
      const long long found = reader_.FindPacketStart(pos);
      if (found == -2) return Fail(ConvertStatus::ReadFailed, "cannot read the source");
      if (found == -1) break;
      const auto at = static_cast<uint64_t>(found);

      long long have = reader_.Ensure(at, kPacketMinLength);
      if (have < 0) return Fail(ConvertStatus::ReadFailed, "cannot read the source");
      if (have < static_cast<long long>(kPacketMinLength)) {
        report_.truncatedLastPacket = converting;
        break;
      }
      uint8_t head[kPacketMinLength];
      SwapWords(reader_.At(at), head, sizeof head);
      const uint32_t length = Read22Bit(head + kPacketLengthAt);
      if (length < kPacketMinLength) {
        // Start-code bytes inside other data, not a packet: look further.
        pos = at + 1;
        continue;
      }
      if (converting && at > expected) report_.skippedBytes += at - expected;
      const uint64_t end = at + length;
      if (length > kMaxStreamPacket) {
        if (end > size) {
          report_.truncatedLastPacket = converting;
          break;
        }
        if (converting) ++report_.oversizedPackets;
        pos = expected = end;
        progress_.At(pos);
        continue;
      }
      // An odd length still ends inside a whole stored word.
      const std::size_t stored = length + (length & 1u);
      have = reader_.Ensure(at, stored);
      if (have < 0) return Fail(ConvertStatus::ReadFailed, "cannot read the source");
      if (have < static_cast<long long>(stored)) {
        report_.truncatedLastPacket = converting;
        break;
      }
      // The packet goes straight to its place in the output, behind room
      // for its frame header; until conversion starts it is looked at there
      // and then overwritten by the next one.
      uint8_t* frame = pending_.get() + pendingSize_;
      SwapWords(reader_.At(at), frame + kFrameInfoSize, stored);
      if (!converting) {
        const uint8_t* packet = frame + kFrameInfoSize;
        const std::size_t payloadAt = PacketPayloadOffset(packet, length);
        converting = payloadAt + 4 <= length && GetU32LE(packet + payloadAt) == kVideoObjectStart;
      }
      if (converting) {
        const Step step = AddFrame(frame, length);
        if (step == Step::Failed) return;
        if (step == Step::Full) {
          report_.sizeLimitReached = true;
          break;
        }
      }
      pos = expected = end;
      progress_.At(pos);
    }
    if (report_.frames == 0) return Fail(ConvertStatus::NoPictures, "no picture with stream headers in the stream");
    Finish();
  }

 private:
  enum class Step { Added, Full, Failed };

  // Completes the frame whose packet lies behind the frame header room at
  // `frame` in the pending output.
  Step AddFrame(uint8_t* frame, uint32_t length) {
    const uint8_t* packet = frame + kFrameInfoSize;
    const PesScan scan = ScanPes(packet, length, true);
    // A packet without a time stamp keeps the previous one (interval 0).
    const uint32_t pts = (scan.found & kPesFoundStamp) != 0 ? scan.pts : lastPts_;
    FrameInfo info;
    if (report_.frames == 0) {
      firstPts_ = pts;
      info.timerInterval = kNoPredecessorInterval;
      if ((scan.found & kPesFoundSize) != 0 && scan.width <= 0xFFFF && scan.height <= 0xFFFF) {
        resolution_ = VsxCodeForSize(static_cast<uint16_t>(scan.width), static_cast<uint16_t>(scan.height))
                          .value_or(0);
      }
    } else {
      info.timerInterval = (pts - lastPts_) / 90;
      intervalSumMs_ += info.timerInterval;
    }
    lastPts_ = pts;
    info.timestamp = s_.kind == StreamKind::Qrv ? UnpackFrameTime(packet + kPackedTimeAt) : Mp4FrameTime();
    if (report_.frames == 0 && !Begin(info.timestamp)) return Step::Failed;

    const uint64_t offset = flushed_ + pendingSize_;
    const uint64_t indexSize = (index_.size() + 1) * kIndexEntrySize + 4;
    if (offset + kFrameInfoSize + length + indexSize > kMaxVsxSize) return Step::Full;

    info.frameNumber = report_.frames + 1;
    info.payloadSize = length;
    info.formatTag = header_.magic;
    info.resolutionCode = resolution_;
    info.channel = s_.head.channel;
    SerializeFrameInfo(info, frame);
    pendingSize_ += kFrameInfoSize + length;
    if (pendingSize_ >= kOutputBlock && !Flush()) return Step::Failed;
    index_.push_back({static_cast<uint32_t>(offset), IndexTypeOf(scan)});
    ++report_.frames;
    return Step::Added;
  }

  // The head's start time plus the whole seconds of the intervals so far.
  SYSTEMTIME Mp4FrameTime() {
    const uint64_t seconds = std::min<uint64_t>(intervalSumMs_ / 1000, 0xFFFFFFFFu);
    if (!mp4Time_ || seconds != mp4Seconds_) {
      mp4Time_ = AddSecondsLocal(s_.head.startTime, static_cast<uint32_t>(seconds));
      mp4Seconds_ = seconds;
    }
    return *mp4Time_;
  }

  bool Begin(const SYSTEMTIME& firstFrameTime) {
    header_.resolutionCode = resolution_;
    header_.recordStyle = kConvertedRecordStyle;
    header_.ipAddress = s_.head.ipAddress;
    // A ".QRV" stream has no head: its recording starts at its first frame.
    header_.fileTimestamp = s_.kind == StreamKind::Qrv ? firstFrameTime : s_.head.startTime;
    header_.magic = s_.head.version == kStreamVersionMpeg4 ? kMpeg4Magic : kJpegMagic;
    header_.audioMode = kVsxAudioModeOwnPacing;
    header_.sourceFormat = s_.kind == StreamKind::Qrv ? kVsxConvertedFromQrv : 0;
    std::string error;
    if (!output_.Begin(firstFrameTime, &error)) {
      Fail(ConvertStatus::WriteFailed, error);
      return false;
    }
    // Nothing was written before the first frame: the header's room is
    // still at the front of the pending output.
    SerializeVsxFileHeader(header_, pending_.get());
    return true;
  }

  bool Flush() {
    if (pendingSize_ > 0 && !output_.Write(pending_.get(), pendingSize_)) {
      Fail(ConvertStatus::WriteFailed, "cannot write the recording");
      return false;
    }
    flushed_ += pendingSize_;
    pendingSize_ = 0;
    return true;
  }

  void Finish() {
    const std::vector<uint8_t> tail = SerializeIndexTail(index_, report_.frames);
    if (!Flush()) return;
    if (!output_.Write(tail.data(), tail.size())) return Fail(ConvertStatus::WriteFailed, "cannot write the recording");
    header_.frameCount = report_.frames;
    header_.startTime = firstPts_ / 90 / 1000;
    header_.endTime = lastPts_ / 90 / 1000;
    uint8_t bytes[kVsxHeaderSize];
    SerializeVsxFileHeader(header_, bytes);
    if (!output_.WriteHeaderAgain(bytes, sizeof bytes)) return Fail(ConvertStatus::WriteFailed, "cannot write the recording");
    std::string error;
    if (!output_.Finish(&error)) return Fail(ConvertStatus::WriteFailed, error);
    report_.status = ConvertStatus::Done;
    progress_.Done();
  }

  void Fail(ConvertStatus status, const std::string& error) {
    report_.status = status;
    report_.error = error;
  }

  StreamInput& input_;
  const ConvertSettings& s_;
  VsxOutput& output_;
  const std::atomic<bool>& stop_;
  BlockReader reader_;
  Progress progress_;
  ConvertReport& report_;

  // Output bytes not yet written: room for the file header first, then
  // frame headers and packets; written out in blocks of kOutputBlock.
  std::unique_ptr<uint8_t[]> pending_;
  std::size_t pendingSize_ = kVsxHeaderSize;
  uint64_t flushed_ = 0;  // output bytes written before pending_
  std::vector<RecIndexEntry> index_;
  VsxFileHeader header_;
  uint8_t resolution_ = 0;  // from the first frame's picture size
  uint32_t firstPts_ = 0;
  uint32_t lastPts_ = 0;
  uint64_t intervalSumMs_ = 0;
  std::optional<SYSTEMTIME> mp4Time_;  // the last ".mp4" frame time and its seconds
  uint64_t mp4Seconds_ = 0;
};

class FileInput final : public StreamInput {
 public:
  explicit FileInput(File& file) : file_(file), size_(static_cast<uint64_t>(std::max(file.Size(), 0LL))) {}
  long long ReadAt(uint64_t pos, uint8_t* out, std::size_t size) override {
    if (!file_.Seek(static_cast<long long>(pos), File::Origin::Begin)) return -1;
    return file_.Read(out, size);
  }
  uint64_t Size() const override { return size_; }

 private:
  File& file_;
  uint64_t size_;
};

std::string TimeName(const SYSTEMTIME& t) {
  char name[64];
  std::snprintf(name, sizeof name, "%04u%02u%02u_%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return name;
}

// The ".vs4" file of a conversion, named when its first frame is known and
// published only when finished.
class FileVsxOutput final : public VsxOutput {
 public:
  FileVsxOutput(std::string folder, StreamKind kind, std::string stem)
      : folder_(std::move(folder)), kind_(kind), stem_(std::move(stem)) {}

  bool Begin(const SYSTEMTIME& firstFrameTime, std::string* error) override {
    const std::string stem = kind_ == StreamKind::Qrv ? TimeName(firstFrameTime) : stem_;
    path_ = FirstFreeName(folder_, stem, ".vs4");
    return out_.Create(path_, error);
  }
  bool Write(const uint8_t* data, std::size_t size) override { return out_.Write(data, size); }
  bool WriteHeaderAgain(const uint8_t* header, std::size_t size) override { return out_.WriteAt(0, header, size); }
  bool Finish(std::string* error) override { return out_.Commit(error); }
  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  StreamKind kind_;
  std::string stem_;
  std::string path_;
  OutputFile out_;
};

}  // namespace

std::optional<StreamKind> StreamKindOfPath(const std::string& path) {
  const std::string ext = UpperExtension4(path);
  if (ext == ".MP4") return StreamKind::Mp4;
  if (ext == ".QRV") return StreamKind::Qrv;
  return std::nullopt;
}

ConvertedPlayback PlaybackForConverted(StreamKind kind) {
  if (kind == StreamKind::Mp4) return {1, 0};
  return {0, 1};
}

ConvertReport ConvertStream(StreamInput& input, const ConvertSettings& settings, VsxOutput& output,
                            const std::atomic<bool>& stop, const ProgressFn& progress) {
  ConvertReport report;
  Converter(input, settings, output, stop, progress, report).Run();
  return report;
}

ConvertStatus OpenStreamSource(const std::string& path, StreamKind kind, File* file, StreamHead* head) {
  if (!file->OpenExisting(path, false)) return ConvertStatus::OpenFailed;
  *head = StreamHead{};
  if (kind == StreamKind::Qrv) return ConvertStatus::Done;
  uint8_t bytes[kStreamHeadSize];
  if (!file->ReadExact(bytes, sizeof bytes)) {
    file->Close();
    return ConvertStatus::NotAStream;
  }
  *head = ParseStreamHead(bytes);
  if (head->version != kStreamVersionMpeg4) {
    file->Close();
    return ConvertStatus::NotAStream;
  }
  return ConvertStatus::Done;
}

ConvertReport ConvertOpenedStream(File& source, const std::string& sourcePath, const ConvertSettings& settings,
                                  const std::string& outputFolder, const std::atomic<bool>& stop,
                                  const ProgressFn& progress) {
  const std::filesystem::path from(sourcePath);
  std::string folder = outputFolder;
  if (folder.empty()) folder = from.has_parent_path() ? from.parent_path().string() : ".";
  FileInput input(source);
  FileVsxOutput output(folder, settings.kind, from.stem().string());
  ConvertReport report = ConvertStream(input, settings, output, stop, progress);
  if (report.status == ConvertStatus::Done) report.outputPath = output.Path();
  return report;
}

ConvertReport ConvertStreamFile(const std::string& sourcePath, StreamKind kind, const std::string& outputFolder,
                                const std::atomic<bool>& stop, const ProgressFn& progress, std::size_t readBlock) {
  File source;
  ConvertSettings settings;
  settings.kind = kind;
  settings.readBlock = readBlock;
  const ConvertStatus opened = OpenStreamSource(sourcePath, kind, &source, &settings.head);
  if (opened != ConvertStatus::Done) {
    ConvertReport report;
    report.status = opened;
    report.error = opened == ConvertStatus::NotAStream ? LoadString(kStrFileTypeNotCorrect) : "cannot open the file";
    return report;
  }
  return ConvertOpenedStream(source, sourcePath, settings, outputFolder, stop, progress);
}

}  // namespace tsv
