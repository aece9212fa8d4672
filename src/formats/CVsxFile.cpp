#include "formats/CVsxFile.h"

#include "formats/Pacing.h"
#include "formats/PesPacket.h"
#include "formats/Resolution.h"
#include "formats/StringTable.h"
#include "media/PictureOps.h"
#include "media/VideoDecoder.h"
#include "media/jpeg/JpegPicture.h"
#include "platform/Event.h"

namespace tsv {

namespace {

bool IsPredicted(uint32_t t) { return t == kVsxPredictedFrame; }
bool IsSound(uint32_t t) { return t == kVsxAudioFrame; }
constexpr CRecFile::IndexTypes kVsxTypes{IsVsxKeyType, IsPredicted, IsSound};

}  // namespace

bool IsVsxKeyType(uint32_t t) { return t == kVsxKeyFrame || t == kVsxKeyFrameAlt; }

CVsxFile::CVsxFile(MessageSink& sink) : CRecFile(sink) { indexTypes_ = &kVsxTypes; }
CVsxFile::~CVsxFile() = default;

uint8_t CVsxFile::GetFileResolution() { return header_.resolutionCode; }

bool CVsxFile::GetFileTimestamp(SYSTEMTIME* out) {
  *out = header_.fileTimestamp;
  return true;
}

bool CVsxFile::SetFilePointerToPreIFrame(int index) { return StepPreKeyFrameSeek(index, kVsxTypes, true); }

bool CVsxFile::SetFilePointerToPreIFrame(Percent percent) {
  SetFilePointerToPreIFrame(ClampIndex(PercentToFrameIndex(percent.value)));
  return true;
}

bool CVsxFile::OpenFileToGetDecoder(const std::string& path, uint32_t* streamFlag) {
  PlaybackState& st = *state_;
  uint8_t bytes[kVsxHeaderSize];
  if (!OpenRecordingFile(path, kVsxHeaderSize, bytes, sizeof bytes)) return false;
  std::copy(bytes, bytes + kVsxHeaderSize, rawHeader_.begin());
  header_ = ParseVsxFileHeader(bytes);
  st.fileMagic = header_.magic;
  st.ipAddress = header_.ipAddress;
  st.ipText = FormatIpAddress(header_.ipAddress);

  uint32_t duration = header_.startTime <= header_.endTime ? header_.endTime - header_.startTime
                                                           : header_.endTime - header_.startTime - 1;
  if (duration == 0 && header_.frameCount != 0) duration = 1;
  st.durationSeconds = duration;
  st.durationText = FormatDurationText(duration, st.speedLevel);
  st.file.Seek(0, File::Origin::Begin);

  if (IsMatchFormat(kVsxConvertedFromQrv)) {
    st.predictedStreamMode = 0;
    st.videoPacing = 1;
  } else {
    st.predictedStreamMode = 1;
    st.videoPacing = 0;
  }
  st.defaultVideoPacing = st.videoPacing.load();

  if (header_.magic == kJpegMagic) {
    st.decoder.kind = kDecoderJpeg;
  } else if (header_.magic == kMpeg4Magic) {
    st.decoder.kind = kDecoderMpeg4;
    // A code without a decode size starts the decoder at the largest size;
    // the stream's own headers decide from there.
    const PictureSize size = VsxDecodeSize(header_.resolutionCode).value_or(PictureSize{720, 576});
    st.decoder.width = size.width;
    st.decoder.height = size.height;
    st.decoder.predictedStreamMode = st.predictedStreamMode;
    // Without a decoder instance (a reader that only reads) there is
    // nothing to configure; a size the decoder refuses makes every
    // picture fail to decode, which the engine treats as a dropped frame.
    if (st.decoder.mpeg4) ReopenMpeg4Decoder(st.decoder, size.width, size.height, st.predictedStreamMode);
  } else {
    return false;
  }

  if (streamFlag) *streamFlag = 1;
  if (header_.audioMode == kVsxAudioModeOwnPacing) {
    st.videoPacing = 1;
    st.defaultVideoPacing = 1;
    st.audioOnly = 0;
  } else if (header_.audioMode == kVsxAudioModeSoundOnly) {
    st.videoPacing = 1;
    st.defaultVideoPacing = 1;
    st.audioOnly = 1;
    if (streamFlag) *streamFlag = 0;
  } else {
    st.audioOnly = 0;
  }
  st.showFromFrame = 0;
  st.singlePicture = 0;
  st.exportRunning = 0;
  return true;
}

void CVsxFile::SeekFilePointToBeginFrame() { state_->file.Seek(kVsxHeaderSize, File::Origin::Begin); }

bool CVsxFile::ReadCurrentFrameInfo(uint32_t slot, uint32_t expectedTag) {
  uint8_t bytes[kFrameInfoSize];
  if (!state_->file.ReadExact(bytes, sizeof bytes)) return false;
  FrameInfo& info = frames_[slot % kRingSlots];
  info = ParseFrameInfo(bytes);
  if (expectedTag != 0 && expectedTag != info.formatTag) return false;
  // A payload that does not fit the frame slot is a damaged frame.
  if (info.payloadSize > kFrameSlotSize) return false;
  return state_->file.ReadExact(FrameSlot(slot), info.payloadSize);
}

uint32_t CVsxFile::GetCurrentFrameTimestamp(uint32_t, uint32_t pts) { return pts / 90; }

bool CVsxFile::GetCurrentFrameTimestamp(uint32_t slot, SYSTEMTIME* out, bool fromFrame) {
  *out = fromFrame ? frames_[slot % kRingSlots].timestamp : state_->pictureRecords[slot % kRingSlots].timestamp;
  return true;
}

uint8_t CVsxFile::GetCurrentFrameResolution(uint32_t slot, uint16_t, uint16_t, bool fromFrame) {
  return fromFrame ? frames_[slot % kRingSlots].resolutionCode
                   : state_->pictureRecords[slot % kRingSlots].resolutionCode;
}

uint8_t CVsxFile::GetCurrentFrameChannel(uint32_t slot) { return frames_[slot % kRingSlots].channel; }
uint32_t CVsxFile::GetCurrentFrameIndex(uint32_t slot) { return frames_[slot % kRingSlots].frameNumber; }
uint32_t CVsxFile::GetCurrentFrameSize(uint32_t slot) { return frames_[slot % kRingSlots].payloadSize; }
uint32_t CVsxFile::GetCurrentFrameReserve(uint32_t slot) { return frames_[slot % kRingSlots].reserve; }
ImaAdpcmState CVsxFile::GetCurrentFrameADPCMState(uint32_t slot) { return frames_[slot % kRingSlots].adpcm; }
uint32_t CVsxFile::GetCurrentFrameTimerInterval(uint32_t slot) { return frames_[slot % kRingSlots].timerInterval; }

bool CVsxFile::SearchIFrameExist(uint32_t index) {
  const uint32_t n = static_cast<uint32_t>(index_.size());
  if (!state_->file.IsOpen() || index >= n - 2) return false;
  return StepSearchKeyFrame(index + 1, n, kVsxTypes);
}

bool CVsxFile::ParseFramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
                             uint32_t* height, uint32_t*, uint32_t* pictureType) {
  const PesScan scan = ScanPes(payload, length, false);
  if (scan.found & kPesFoundStamp) *pts = scan.pts;
  if (scan.found & kPesFoundPictureType) *pictureType = scan.pictureType;
  (void)width;
  (void)height;
  return scan.found != 0;
}

bool CVsxFile::ParseMp4FramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
                                uint32_t* height, uint32_t*, uint32_t* pictureType) {
  const PesScan scan = ScanPes(payload, length, true);
  if (scan.found & kPesFoundStamp) *pts = scan.pts;
  if (scan.found & kPesFoundPictureType) *pictureType = scan.pictureType;
  if (scan.found & kPesFoundSize) {
    *width = scan.width;
    *height = scan.height;
  }
  return scan.found != 0;
}

uint8_t CVsxFile::GetJpegFrameKind(const uint8_t* p) {
  if (p[0] != 0 || p[1] != 0 || p[2] != 1) return kFrameOther;
  if ((p[3] & 0xF0) == kJpegStream) return kFramePicture;
  if ((p[3] & 0xF0) == kSoundStream) return kFrameSound;
  return kFrameOther;
}

uint8_t CVsxFile::GetMp4FrameKind(const uint8_t* p) {
  if (p[0] != 0 || p[1] != 0 || p[2] != 1) return kFrameOther;
  if ((p[3] & 0xF0) == kPictureStream) return kFramePicture;
  if ((p[3] & 0xF0) == kSoundStream) return kFrameSound;
  return kFrameOther;
}

bool CVsxFile::DoJpegDecode(const uint8_t* payload, uint32_t length, uint8_t* picture, uint16_t* width,
                            uint16_t* height) {
  // The size of the frame's resolution code; a code without one takes the
  // size from the JPEG data.
  const auto size = VsxDecodeSize(frames_[state_->readSlotIndex % kRingSlots].resolutionCode);
  if (size) {
    *width = size->width;
    *height = size->height;
  }
  const bool packet = length >= 4 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1;
  const std::size_t from = packet ? PacketPayloadOffset(payload, length) : 0;
  if (from >= length) return false;
  uint16_t w = 0, h = 0;
  if (!DecodeJpegPicture(payload + from, length - from, picture, kPictureSlotSize, size ? size->width : 0,
                         size ? size->height : 0, &w, &h))
    return false;
  *width = w;
  *height = h;
  return true;
}

bool CVsxFile::DoMp4Decode(const uint8_t* payload, uint32_t length, uint32_t one, uint32_t pictureType,
                           uint16_t* width, uint16_t* height, uint8_t* picture) {
  return DecodeMpeg4Picture(state_->decoder, payload, length, one, pictureType, *width, *height, picture,
                            kPictureSlotBytes);
}

uint32_t CVsxFile::ExpandFieldPicture(uint16_t width, uint16_t height, uint8_t** picture) {
  const uint32_t layout = state_->layoutIndex;
  if (width == 720 && ((height == 480 && layout == 11) || (height == 576 && layout == 13)))
    ExpandFieldLines(*picture, width, height);
  return 1;
}

void CVsxFile::GetFileIPAddress(uint32_t* out) { *out = header_.ipAddress; }

void CVsxFile::GetRecordStyleText(std::string* out) {
  switch (header_.recordStyle) {
    case 1: *out = LoadString(kStrTriggerRecord); break;
    case 2: *out = LoadString(kStrUserRecord); break;
    case 3: *out = LoadString(kStrScheduleRecord); break;
    default: break;
  }
}

bool CVsxFile::MP4SetTargetFilePointer() { return StepMp4SetTargetFilePointer(kVsxTypes); }
bool CVsxFile::MP4FindNextIndexRange(int index) { return StepMp4FindNextIndexRange(index, kVsxTypes); }

bool CVsxFile::FindNextIndexRange(int index) {
  stepping_.reachedStart = 0;
  rangePending_ = false;
  stepping_.showToggle = 1;
  if ((state_->decoder.kind & 0xFF) == kDecoderJpeg) return JpegFindNextIndexRange(index);
  if ((state_->decoder.kind & 0xFF) == kDecoderMpeg4) return MP4FindNextIndexRange(index);
  return index != 0;
}

bool CVsxFile::MP4CheckFrameShow(uint32_t index) { return StepMp4CheckFrameShow(index, kVsxTypes); }

uint32_t CVsxFile::PercentToFrameIndex(int percent) {
  return static_cast<uint32_t>(static_cast<uint64_t>(header_.frameCount) * (static_cast<uint32_t>(percent) & 0xFFFF) /
                               100);
}

bool CVsxFile::JpegSetTargetFilePointer() { return StepJpegSetTargetFilePointer(); }

bool CVsxFile::JpegFindNextIndexRange(int index) {
  if (!state_->file.IsOpen()) return true;
  if (index < 0) return false;
  const int key = StepBackToKey(index, kVsxTypes);
  if (key == 0) return false;
  stepping_.cursor = key;
  return true;
}

bool CVsxFile::JpegCheckFrameShow(uint32_t) { return true; }

bool CVsxFile::JpegDoSleep(Event* stop) {
  PlaybackState& st = *state_;
  const PictureRecord& record = st.pictureRecords[st.ringIndex % kRingSlots];
  const uint32_t t = record.timerInterval;
  const uint8_t level = st.speedLevel;
  const uint32_t d = t < 8 ? t : t - 7;  // less the time drawing takes
  if (level == kSpeedPaused) return true;
  if (level < kSpeedNormal) return SlowLevelSleep(st, stop, t);
  if (level > kSpeedNormal || st.videoPacing) {
    if (t >= 500) return true;
    SleepUnlessStopped(st, stop, d >> SpeedStep(level));
    return true;
  }
  // Normal speed following the sound clock: wait until the sound has
  // reached this picture's frame time.
  for (;;) {
    if (stop && stop->IsSet()) return false;
    if (st.offSpeed == 1) return true;
    const uint32_t start = st.audioWindowStart, end = st.audioWindowEnd;
    if (start != 0 && end != 0) break;
    if (start == 0 && end == 0) {
      SleepUnlessStopped(st, stop, d);
      return true;
    }
    SleepUnlessStopped(st, stop, 10);
  }
  if (t >= 500) return true;
  const uint32_t f = record.frameTime;
  const uint32_t start = st.audioWindowStart, end = st.audioWindowEnd;
  if (start <= f && f <= end) {
    SleepUnlessStopped(st, stop, d);
  } else if (f < start) {
    if (end - f >= 3001) SleepUnlessStopped(st, stop, d);
  } else if (st.progressPercent != 99) {
    SleepUnlessStopped(st, stop, 10);
    SleepUnlessStopped(st, stop, 2 * d);
  }
  return true;
}

bool CVsxFile::GetNonAudioFrameIndex(uint32_t* index) {
  const uint32_t from = *index == 0 ? 1 : *index;
  if (index_.empty()) return false;
  for (int j = ClampIndex(from - 1); j >= 0; --j) {
    const uint32_t t = index_[j].type;
    if (t == kVsxKeyFrame || t == kVsxPredictedFrame || t == kVsxKeyFrameAlt) {
      *index = static_cast<uint32_t>(j) + 1;
      return true;
    }
  }
  return false;
}

bool CVsxFile::IsMatchFormat(uint8_t code) { return header_.sourceFormat == code; }

}  // namespace tsv
