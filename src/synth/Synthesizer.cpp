#include "synth/Synthesizer.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/PesPacket.h"
#include "formats/QrvLayout.h"
#include "formats/VsxLayout.h"
#include "media/jpeg/JpegPicture.h"
#include "synth/Mpeg4StreamEncoder.h"
#include "platform/OutputFile.h"
#include "synth/PacketBuilder.h"
#include "synth/RecordingWriter.h"
#include "synth/SoundSynth.h"

namespace tsv {

namespace {

// A frame payload must fit one slot of the player's frame ring.
constexpr std::size_t kMaxFramePayload = 102400;
// The 90 kHz stamp of a frame time must fit 32 bits.
constexpr uint64_t kMaxFrameTimeMs = 0xFFFFFFFFull / 90;
constexpr uint32_t kMaxFrames = 1000000;
constexpr uint32_t kMaxRate = 100;

struct QrvSizeRow {
  uint8_t code;
  PictureSize size;
};

// Picture sizes of ".vse" streams; codes 6 and 8 are field pictures.
constexpr QrvSizeRow kQrvSizes[] = {{0, {352, 240}}, {1, {704, 480}}, {2, {352, 288}}, {3, {704, 576}},
                                    {6, {640, 228}}, {7, {320, 228}}, {8, {640, 276}}, {9, {320, 276}}};

bool QrvJpegType(uint8_t type) { return type == kQrvStreamJpegOwnPacing || type == kQrvStreamJpeg; }
bool QrvChainType(uint8_t type) { return type == kQrvStreamMpeg4ChainOwnPacing || type == kQrvStreamMpeg4Chain; }

uint64_t DurationMs(const SynthOptions& o) { return static_cast<uint64_t>(o.frames) * 1000 / std::max(o.rate, 1u); }

uint32_t SoundFrameCount(const SynthOptions& o) {
  if (!SynthHasSound(o)) return 0;
  const uint64_t duration = DurationMs(o) > o.soundStartMs ? DurationMs(o) - o.soundStartMs : 0;
  const uint64_t count = (duration + kSynthSoundFrameMs - 1) / kSynthSoundFrameMs;
  return static_cast<uint32_t>(std::max<uint64_t>(count, 1));
}

}  // namespace

std::vector<SynthPlanEntry> SynthFramePlan(const SynthOptions& o) {
  const uint32_t pictures = SynthHasPictures(o) ? o.frames : 0;
  const uint32_t sounds = SoundFrameCount(o);
  std::vector<SynthPlanEntry> plan;
  plan.reserve(static_cast<std::size_t>(pictures) + sounds);
  uint32_t k = 0, j = 0;
  while (k < pictures || j < sounds) {
    const uint32_t soundTime = o.firstFrameTimeMs + o.soundStartMs + j * kSynthSoundFrameMs;
    if (j < sounds && (k >= pictures || soundTime <= SynthPictureTimeMs(o, k))) {
      plan.push_back({true, j++, soundTime});
    } else {
      plan.push_back({false, k, SynthPictureTimeMs(o, k)});
      ++k;
    }
  }
  return plan;
}

namespace {

std::string ClockNumber(uint32_t k) {
  char text[16];
  std::snprintf(text, sizeof text, "#%06u", k + 1);
  return text;
}

// Makes the payload of each picture in order.
class PictureSource {
 public:
  explicit PictureSource(const SynthOptions& o) : o_(o) {}

  bool Open(std::string* error) {
    const PictureSize size = *SynthPictureSize(o_);
    if (!SynthUsesMpeg4(o_)) return true;
    Mpeg4EncoderSettings s;
    s.width = size.width;
    s.height = size.height;
    s.rate = static_cast<int>(o_.rate);
    s.keyInterval = static_cast<int>(o_.keyInterval);
    s.quantiser = o_.quantiser;
    s.predictedMode = SynthPredictedMode(o_);
    return encoder_.Open(s, error);
  }

  bool IsKey(uint32_t k) const { return !SynthUsesMpeg4(o_) || k % o_.keyInterval == 0; }

  bool Make(uint32_t k, const PacketHead& head, std::vector<uint8_t>* payload, std::string* error) {
    SynthPicture(o_, k, &picture_);
    const bool packetless = o_.bareJpeg && !SynthUsesMpeg4(o_);
    if (SynthUsesMpeg4(o_)) {
      if (!encoder_.Encode(picture_, k, IsKey(k), &data_, error)) return false;
    } else {
      data_ = EncodeJpegPicture(ToBgrBottomUp(picture_).data(), static_cast<uint16_t>(picture_.width),
                                static_cast<uint16_t>(picture_.height), o_.jpegQuality);
      if (data_.empty()) {
        *error = "JPEG encoding failed";
        return false;
      }
    }
    if (packetless) {
      *payload = data_;
      return true;
    }
    if (!BuildPicturePacket(head, data_.data(), data_.size(), payload)) {
      *error = "picture too large for a packet";
      return false;
    }
    return true;
  }

 private:
  const SynthOptions& o_;
  Mpeg4StreamEncoder encoder_;
  YuvPicture picture_;
  std::vector<uint8_t> data_;
};

VsxFileHeader MakeVsxHeader(const SynthOptions& o, uint32_t frameCount, uint32_t firstMs, uint32_t lastMs) {
  VsxFileHeader h;
  h.frameCount = frameCount;
  h.startTime = firstMs / 1000;
  h.endTime = lastMs / 1000;
  h.ipAddress = o.ipAddress;
  h.resolutionCode = o.resolutionCode;
  h.recordStyle = o.recordStyle;
  h.fileTimestamp = o.start;
  h.magic = o.codec == SynthCodec::Jpeg ? kJpegMagic : kMpeg4Magic;
  const bool converted = SynthUsesMpeg4(o) && SynthPredictedMode(o) == 0;
  if (!SynthHasPictures(o)) h.audioMode = kVsxAudioModeSoundOnly;
  else if (SynthHasSound(o) && !converted) h.audioMode = 0;  // pictures follow the sound clock
  else h.audioMode = kVsxAudioModeOwnPacing;
  if (converted) h.sourceFormat = kVsxConvertedFromQrv;
  return h;
}

QrvFileHeader MakeQrvHeader(const SynthOptions& o, uint32_t frameCount, uint32_t firstMs, uint32_t lastMs) {
  QrvFileHeader h;
  h.startTimestamp = o.start;
  h.startTime = firstMs;
  h.endTime = lastMs;
  h.frameCount = frameCount;
  h.ipAddress = o.ipAddress;
  h.streamType = o.streamType;
  h.recordStyle = o.recordStyle;
  return h;
}

}  // namespace

bool SynthIsStream(const SynthOptions& o) {
  return o.layout == SynthLayout::Mp4Stream || o.layout == SynthLayout::QrvStream || o.layout == SynthLayout::Disc;
}

bool SynthHasPictures(const SynthOptions& o) {
  return o.layout == SynthLayout::Qrv ? o.streamType != kQrvStreamSoundOnly : !o.soundOnly;
}

bool SynthHasSound(const SynthOptions& o) { return o.sound || !SynthHasPictures(o); }

bool SynthUsesMpeg4(const SynthOptions& o) {
  if (!SynthHasPictures(o)) return false;
  if (o.layout == SynthLayout::Qrv) return !QrvJpegType(o.streamType);
  return o.codec == SynthCodec::Mpeg4;
}

int SynthPredictedMode(const SynthOptions& o) {
  switch (o.layout) {
    case SynthLayout::Vsx: return o.predictedMode;
    case SynthLayout::Qrv: return QrvChainType(o.streamType) ? 0 : 1;
    case SynthLayout::Mp4Stream: return 1;
    case SynthLayout::QrvStream:
    case SynthLayout::Disc: return 0;
  }
  return 1;
}

std::optional<PictureSize> SynthPictureSize(const SynthOptions& o) {
  if (!SynthHasPictures(o)) return std::nullopt;
  if (o.layout != SynthLayout::Qrv) return VsxDecodeSize(o.resolutionCode);
  for (const QrvSizeRow& row : kQrvSizes) {
    if (row.code == o.resolutionCode) return row.size;
  }
  return std::nullopt;
}

std::string CheckSynthOptions(const SynthOptions& o) {
  if (o.frames < 1 || o.frames > kMaxFrames) return "frame count must be 1.." + std::to_string(kMaxFrames);
  if (o.rate < 1 || o.rate > kMaxRate) return "rate must be 1.." + std::to_string(kMaxRate) + " pictures per second";
  if (o.keyInterval < 1) return "key interval must be at least 1";
  if (o.channel > 15) return "channel must be 0..15";
  if (o.jpegQuality < 1 || o.jpegQuality > 100) return "JPEG quality must be 1..100";
  if (o.quantiser < 2 || o.quantiser > 31) return "MPEG-4 quantiser must be 2..31";
  if (SynthIsStream(o)) {
    if (o.soundOnly || o.codec != SynthCodec::Mpeg4) return "raw streams carry MPEG-4 pictures";
    if (o.bareJpeg) return "bare JPEG data is a .vse stream form only";
    // Six bits of year offset and an extra bit worth 128: 2000..2063 and 2128..2191.
    const bool packable = (o.start.wYear >= 2000 && o.start.wYear <= 2062) ||
                          (o.start.wYear >= 2128 && o.start.wYear <= 2190);
    if (o.layout != SynthLayout::Mp4Stream && !packable)
      return ".QRV streams pack the years 2000..2063 and 2128..2191 only";
    if (o.layout == SynthLayout::Disc && o.discRunSectors < 1) return "a disc run needs at least one sector";
  } else if (o.layout == SynthLayout::Vsx) {
    if (o.predictedMode != 0 && o.predictedMode != 1) return "predicted-stream mode must be 0 or 1";
    if (o.bareJpeg) return "bare JPEG data is a .vse stream form only";
  } else {
    if (o.streamType > kQrvStreamSoundOnly) return "stream type must be 0..6";
    if (o.bareJpeg && !(SynthHasPictures(o) && !SynthUsesMpeg4(o))) return "bare JPEG data needs a JPEG stream";
  }
  if (SynthHasPictures(o) && !SynthPictureSize(o)) {
    return "resolution code " + std::to_string(o.resolutionCode) + " has no picture size in " +
           (o.layout == SynthLayout::Qrv ? "a .vse file" : "a .vs4 file");
  }
  const uint64_t lastMs = o.firstFrameTimeMs + DurationMs(o) + kSynthSoundFrameMs;
  if (lastMs > kMaxFrameTimeMs) return "frame times beyond the 32-bit 90 kHz clock";
  return {};
}

uint32_t SynthPictureTimeMs(const SynthOptions& o, uint32_t k) {
  return o.firstFrameTimeMs + static_cast<uint32_t>(static_cast<uint64_t>(k) * 1000 / std::max(o.rate, 1u));
}

SYSTEMTIME SynthFrameTimestamp(const SynthOptions& o, uint32_t frameTimeMs) {
  const uint64_t sinceStart = static_cast<uint64_t>(o.start.wMilliseconds) + (frameTimeMs - o.firstFrameTimeMs);
  SYSTEMTIME t = AddSecondsLocal(o.start, static_cast<uint32_t>(sinceStart / 1000));
  t.wMilliseconds = static_cast<uint16_t>(sinceStart % 1000);
  return t;
}

void SynthPicture(const SynthOptions& o, uint32_t k, YuvPicture* out) {
  const std::optional<PictureSize> size = SynthPictureSize(o);
  if (!size) {
    *out = YuvPicture{};
    return;
  }
  const SYSTEMTIME when = SynthFrameTimestamp(o, SynthPictureTimeMs(o, k));
  DrawTestPicture(size->width, size->height, k, FormatSystemTime(when, true), ClockNumber(k), out);
}

bool Synthesize(const SynthOptions& o, const std::string& path, std::string* error) {
  if (std::string problem = CheckSynthOptions(o); !problem.empty()) {
    *error = problem;
    return false;
  }
  const std::vector<SynthPlanEntry> plan = SynthFramePlan(o);
  const auto frameCount = static_cast<uint32_t>(plan.size());
  const uint32_t firstMs = plan.front().timeMs;
  const uint32_t lastMs = plan.back().timeMs;

  OutputFile out;
  if (!out.Create(path, error)) return false;
  std::unique_ptr<RecordingWriter> writer;
  if (SynthIsStream(o)) {
    StreamWriterSettings s;
    s.form = o.layout == SynthLayout::Mp4Stream ? StreamForm::Mp4
             : o.layout == SynthLayout::QrvStream ? StreamForm::Qrv
                                                   : StreamForm::Disc;
    s.head.version = kStreamVersionMpeg4;
    s.head.channel = o.channel;
    s.head.ipAddress = o.ipAddress;
    s.head.startTime = o.start;
    s.discRunSectors = o.discRunSectors;
    writer = MakeStreamRecordingWriter(out, s);
  } else if (o.layout == SynthLayout::Vsx) {
    writer = MakeVsxRecordingWriter(out, MakeVsxHeader(o, frameCount, firstMs, lastMs), o.channel,
                                    o.alternateKeyType);
  } else {
    QrvWriterSettings s;
    if (const std::optional<PictureSize> size = SynthPictureSize(o)) {
      s.width = size->width;
      s.height = size->height;
    }
    s.channel = o.channel;
    s.zeroKeyType = o.alternateKeyType;
    s.extraBytes = o.qrvExtraBytes;
    writer = MakeQrvRecordingWriter(out, MakeQrvHeader(o, frameCount, firstMs, lastMs), s);
  }
  if (!writer->Begin(error)) return false;

  PictureSource pictures(o);
  if (SynthHasPictures(o) && !pictures.Open(error)) return false;
  // ".vs4" sound frames store the decoder state they start from; ".vse"
  // frames store none, so each starts from the rest state.
  SynthSoundEncoder soundEncoder(o.layout == SynthLayout::Vsx);
  SynthSoundFrame sound;

  // Raw ".QRV" streams carry the local time in every packet, so files made
  // from them (".vse", and ".vs4" marked as converted) do as well.
  const bool packTime = o.layout == SynthLayout::Qrv || o.layout == SynthLayout::QrvStream ||
                        o.layout == SynthLayout::Disc ||
                        (o.layout == SynthLayout::Vsx && SynthUsesMpeg4(o) && SynthPredictedMode(o) == 0);
  const uint8_t pictureStream = SynthUsesMpeg4(o) ? static_cast<uint8_t>(kPictureStream | o.channel) : kJpegStream;

  std::vector<uint8_t> payload;
  std::optional<uint32_t> lastPictureMs, lastSoundMs;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const SynthPlanEntry& e = plan[i];
    SynthFrame frame;
    frame.sound = e.sound;
    frame.timeMs = e.timeMs;
    frame.timestamp = SynthFrameTimestamp(o, e.timeMs);
    std::optional<uint32_t>& last = e.sound ? lastSoundMs : lastPictureMs;
    frame.intervalMs = last ? e.timeMs - *last : kNoPredecessorInterval;
    last = e.timeMs;

    PacketHead head;
    head.pts = e.timeMs * 90;
    if (packTime) head.packedTime = frame.timestamp;
    if (e.sound) {
      soundEncoder.Next(e.index, &sound);
      head.streamByte = kSoundStream;
      if (!BuildSoundPacket(head, sound.adpcm.data(), sound.adpcm.size(), &payload)) {
        *error = "sound frame too large";
        return false;
      }
      frame.adpcm = sound.state;
    } else {
      head.streamByte = pictureStream;
      head.withDts = o.withDts;
      head.longHead = o.longHead;
      if (!pictures.Make(e.index, head, &payload, error)) return false;
      frame.key = pictures.IsKey(e.index);
    }
    if (payload.size() > kMaxFramePayload) {
      *error = "frame " + std::to_string(i + 1) + " needs " + std::to_string(payload.size()) +
               " bytes, more than a player's frame slot of " + std::to_string(kMaxFramePayload) +
               " (lower the JPEG quality or raise the quantiser)";
      return false;
    }
    frame.payload = &payload;
    if (!writer->Add(frame, error)) return false;
  }
  if (!writer->Finish(error)) return false;
  return out.Commit(error);
}

}  // namespace tsv
