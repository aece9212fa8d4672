#include "formats/CZKQRV.h"

#include <algorithm>

#include "formats/Pacing.h"
#include "formats/PesPacket.h"
#include "formats/Resolution.h"
#include "formats/StringTable.h"
#include "media/PictureOps.h"
#include "media/VideoDecoder.h"
#include "media/jpeg/JpegPicture.h"
#include "platform/ByteIO.h"
#include "platform/Event.h"

namespace tsv {

namespace {

bool IsPredicted(uint32_t t) { return t == kQrvPredictedFrame; }
bool IsSound(uint32_t t) { return t == kQrvAudioFrame; }
constexpr CRecFile::IndexTypes kQrvTypes{IsQrvKeyType, IsPredicted, IsSound};

bool IsJpegStreamType(uint8_t t) { return t == kQrvStreamJpegOwnPacing || t == kQrvStreamJpeg; }
bool IsMpeg4StreamType(uint8_t t) { return t >= kQrvStreamMpeg4ChainOwnPacing && t <= kQrvStreamMpeg4KeyRef && t != kQrvStreamJpeg; }

bool IsSoundPacket(const uint8_t* p, uint32_t size) {
  return size >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 1 && (p[3] & 0xF0) == kSoundStream;
}

}  // namespace

CZKQRV::CZKQRV(MessageSink& sink) : CRecFile(sink) { indexTypes_ = &kQrvTypes; }
CZKQRV::~CZKQRV() = default;

uint8_t CZKQRV::GetFileResolution() { return fileResolutionCode_; }

bool CZKQRV::GetFileTimestamp(SYSTEMTIME* out) {
  *out = header_.startTimestamp;
  return true;
}

bool CZKQRV::SetFilePointerToPreIFrame(int index) { return StepPreKeyFrameSeek(index, kQrvTypes, false); }

bool CZKQRV::SetFilePointerToPreIFrame(Percent percent) {
  SetFilePointerToPreIFrame(ClampIndex(PercentToFrameIndex(percent.value)));
  return true;
}

bool CZKQRV::OpenFileToGetDecoder(const std::string& path, uint32_t* streamFlag) {
  PlaybackState& st = *state_;
  uint8_t bytes[kQrvHeaderSize];
  if (!OpenRecordingFile(path, kQrvFirstFrameOffset, bytes, sizeof bytes)) return false;
  std::copy(bytes, bytes + kQrvHeaderSize, rawHeader_.begin());
  header_ = ParseQrvFileHeader(bytes);
  uint8_t terminator[2];
  if (header_.frameCount != index_.size() || !st.file.ReadExact(terminator, 2) ||
      GetU16LE(terminator) != kQrvTerminator) {
    st.file.Close();
    return false;
  }
  st.ipAddress = header_.ipAddress;
  st.ipText = FormatIpAddress(header_.ipAddress);

  uint32_t durationMs = header_.startTime <= header_.endTime ? header_.endTime - header_.startTime
                                                             : header_.endTime - header_.startTime - 1;
  if (durationMs == 0 && !index_.empty()) durationMs = 1;
  st.durationSeconds = durationMs / 1000;
  st.durationText = FormatDurationText(st.durationSeconds, st.speedLevel);

  // The first picture frame tells the picture size. A recording may begin
  // with sound frames, which tell nothing: the JPEG decode would fail on
  // them and the MPEG-4 decoder would be set up at a size the pictures do
  // not have.
  const uint8_t type = header_.streamType;
  const bool pictures = IsJpegStreamType(type) || IsMpeg4StreamType(type);
  for (std::size_t k = 0;; ++k) {
    if (!ReadCurrentFrameInfo(0, 0)) {
      st.file.Close();
      return false;
    }
    if (!pictures || k + 1 >= index_.size() || !IsSoundPacket(FrameSlot(0), records_[0].header.payloadSize)) break;
  }
  uint32_t width = 0, height = 0;
  if (IsJpegStreamType(type)) {
    uint16_t w = 0, h = 0;
    // Into the first picture slot when the rings exist; a reader that only
    // reads needs one picture's room for this.
    uint8_t* picture = st.pictureRing.get();
    if (!picture) {
      if (!firstPicture_) firstPicture_.reset(new uint8_t[kPictureSlotBytes]);
      picture = firstPicture_.get();
    }
    if (!DoJpegDecode(FrameSlot(0), records_[0].header.payloadSize, picture, &w, &h)) {
      st.file.Close();
      return false;
    }
    width = w;
    height = h;
  } else if (IsMpeg4StreamType(type)) {
    uint32_t pts = 0, reserved = 0, pictureType = 0;
    if (!ParseMp4FramePes(FrameSlot(0), records_[0].header.payloadSize, &pts, &width, &height, &reserved,
                          &pictureType)) {
      st.file.Close();
      return false;
    }
  }
  fileResolutionCode_ =
      GetCurrentFrameResolution(0, static_cast<uint16_t>(width), static_cast<uint16_t>(height), true);
  st.file.Seek(0, File::Origin::Begin);

  switch (type) {
    case kQrvStreamJpegOwnPacing:
    case kQrvStreamJpeg:
      st.decoder.kind = kDecoderJpeg;
      st.fileMagic = kJpegMagic;
      break;
    case kQrvStreamMpeg4ChainOwnPacing:
    case kQrvStreamMpeg4Chain:
      st.predictedStreamMode = 0;
      break;
    case kQrvStreamMpeg4KeyRefOwnPacing:
    case kQrvStreamMpeg4KeyRef:
      st.predictedStreamMode = 1;
      break;
    default:
      break;
  }
  if (IsMpeg4StreamType(type)) {
    st.decoder.kind = kDecoderMpeg4;
    st.fileMagic = kMpeg4Magic;
    st.decoder.width = static_cast<uint16_t>(width ? width : 720);
    st.decoder.height = static_cast<uint16_t>(height ? height : 576);
    st.decoder.predictedStreamMode = st.predictedStreamMode;
    if (st.decoder.mpeg4)
      ReopenMpeg4Decoder(st.decoder, st.decoder.width, st.decoder.height, st.predictedStreamMode);
  }
  if (type <= kQrvStreamMpeg4KeyRefOwnPacing || type == kQrvStreamSoundOnly) {
    st.videoPacing = 1;
    st.defaultVideoPacing = 1;
  }
  st.audioOnly = type == kQrvStreamSoundOnly ? 1 : 0;

  if (streamFlag) *streamFlag = 0;
  st.showFromFrame = 0;
  st.singlePicture = 0;
  st.exportRunning = 0;
  return true;
}

void CZKQRV::SeekFilePointToBeginFrame() { state_->file.Seek(kQrvFirstFrameOffset, File::Origin::Begin); }

bool CZKQRV::ReadCurrentFrameInfo(uint32_t slot, uint32_t) {
  PlaybackState& st = *state_;
  uint8_t bytes[kQrvFrameHeaderReadSize];
  const long long got = st.file.Read(bytes, sizeof bytes);
  if (got <= 0) return false;
  QrvFrameRecord& record = records_[slot % kRingSlots];
  const std::size_t headerLength = ParseQrvFrameHeader(bytes, static_cast<std::size_t>(got), &record.header);
  if (headerLength == 0) return false;
  const QrvFrameHeader& h = record.header;
  if (h.flags & kQrvHasFrameTime) {
    record.timestamp = AddSecondsLocal(header_.startTimestamp, QrvElapsedMs(h.frameTime, header_.startTime) / 1000);
    if (st.qrvFirstFrame) {
      record.timerInterval = 0;
      st.qrvFirstFrame = 0;
    } else {
      const uint32_t previous = records_[(slot + kRingSlots - 1) % kRingSlots].header.frameTime;
      record.timerInterval = h.frameTime >= previous ? h.frameTime - previous : previous - h.frameTime - 1;
    }
  }
  if ((h.flags & kQrvHasWidth) && (h.flags & kQrvHasHeight)) {
    if (auto code = QrvCodeForSize(h.width, h.height, false)) record.resolutionCode = *code;
  }
  if (!st.file.Seek(static_cast<long long>(headerLength) - got, File::Origin::Current)) return false;
  // A payload that does not fit the frame slot is a damaged frame.
  if (h.payloadSize > kFrameSlotSize) return false;
  return st.file.ReadExact(FrameSlot(slot), h.payloadSize);
}

uint32_t CZKQRV::GetCurrentFrameTimestamp(uint32_t slot, uint32_t) { return records_[slot % kRingSlots].header.frameTime; }

bool CZKQRV::GetCurrentFrameTimestamp(uint32_t slot, SYSTEMTIME* out, bool fromFrame) {
  const uint32_t s = slot % kRingSlots;
  if (!fromFrame) *out = state_->pictureRecords[s].timestamp;
  else if (records_[s].header.flags & kQrvHasFrameTime) *out = records_[s].timestamp;
  return true;
}

uint8_t CZKQRV::GetCurrentFrameResolution(uint32_t slot, uint16_t width, uint16_t height, bool fromFrame) {
  const uint32_t s = slot % kRingSlots;
  if (!fromFrame) return state_->pictureRecords[s].resolutionCode;
  if (width == 0 && height != 0) {
    fileResolutionCode_ = static_cast<uint8_t>(height);
    return fileResolutionCode_;
  }
  if (width == 0 && height == 0) {
    width = records_[s].header.width;
    height = records_[s].header.height;
  }
  // A size outside the table keeps the code the file had.
  if (auto code = QrvCodeForSize(width, height, true)) fileResolutionCode_ = *code;
  return fileResolutionCode_;
}

uint8_t CZKQRV::GetCurrentFrameChannel(uint32_t slot) { return records_[slot % kRingSlots].header.channel; }
uint32_t CZKQRV::GetCurrentFrameIndex(uint32_t slot) { return records_[slot % kRingSlots].header.frameNumber; }
uint32_t CZKQRV::GetCurrentFrameSize(uint32_t slot) { return records_[slot % kRingSlots].header.payloadSize; }
uint32_t CZKQRV::GetCurrentFrameReserve(uint32_t) { return 0; }
ImaAdpcmState CZKQRV::GetCurrentFrameADPCMState(uint32_t) { return {}; }
uint32_t CZKQRV::GetCurrentFrameTimerInterval(uint32_t slot) { return records_[slot % kRingSlots].timerInterval; }

bool CZKQRV::SearchIFrameExist(uint32_t index) {
  const uint32_t n = static_cast<uint32_t>(index_.size());
  if (!state_->file.IsOpen() || index >= n - 2) return false;
  return StepSearchKeyFrame(index, n - 1, kQrvTypes);
}

bool CZKQRV::ParseMp4FramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
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

uint8_t CZKQRV::GetMp4FrameKind(const uint8_t* p) {
  if (p[0] != 0 || p[1] != 0 || p[2] != 1) return kFrameOther;
  if ((p[3] & 0xF0) == kPictureStream) return kFramePicture;
  if ((p[3] & 0xF0) == kSoundStream) return kFrameSound;
  return kFrameOther;
}

bool CZKQRV::DoJpegDecode(const uint8_t* payload, uint32_t length, uint8_t* picture, uint16_t* width,
                          uint16_t* height) {
  // Picture packets carry the JPEG data at their payload; bare JPEG data
  // is searched for its start-of-image marker.
  const bool packet = length >= 4 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1;
  const std::size_t from = packet ? PacketPayloadOffset(payload, length) : 0;
  if (from >= length) return false;
  return DecodeJpegPicture(payload + from, length - from, picture, kPictureSlotSize, 0, 0, width, height);
}

bool CZKQRV::DoMp4Decode(const uint8_t* payload, uint32_t length, uint32_t one, uint32_t pictureType,
                           uint16_t* width, uint16_t* height, uint8_t* picture) {
  return DecodeMpeg4Picture(state_->decoder, payload, length, one, pictureType, *width, *height, picture,
                            kPictureSlotBytes);
}

uint32_t CZKQRV::ExpandFieldPicture(uint16_t width, uint16_t height, uint8_t** picture) {
  if (width == 640 && (height == 456 || height == 552)) ExpandFieldLines(*picture, width, height);
  return 1;
}

void CZKQRV::GetFileIPAddress(uint32_t* out) { *out = header_.ipAddress; }

void CZKQRV::GetRecordStyleText(std::string* out) {
  switch (header_.recordStyle) {
    case 1: *out = LoadString(kStrUserRecord); break;
    case 2: *out = LoadString(kStrTriggerRecord); break;
    case 4: *out = LoadString(kStrScheduleRecord); break;
    default: break;
  }
}

bool CZKQRV::MP4SetTargetFilePointer() { return StepMp4SetTargetFilePointer(kQrvTypes); }
bool CZKQRV::MP4FindNextIndexRange(int index) { return StepMp4FindNextIndexRange(index, kQrvTypes); }

bool CZKQRV::FindNextIndexRange(int index) {
  stepping_.reachedStart = 0;
  rangePending_ = false;
  stepping_.showToggle = 1;
  return JpegFindNextIndexRange(index);
}

bool CZKQRV::MP4CheckFrameShow(uint32_t index) { return StepMp4CheckFrameShow(index, kQrvTypes); }

uint32_t CZKQRV::PercentToFrameIndex(int percent) {
  return static_cast<uint32_t>(static_cast<uint64_t>(state_->indexCount) * (static_cast<uint32_t>(percent) & 0xFFFF) /
                               100);
}

bool CZKQRV::JpegSetTargetFilePointer() { return StepJpegSetTargetFilePointer(); }

bool CZKQRV::JpegFindNextIndexRange(int index) {
  if (!state_->file.IsOpen() || index < 0 || index_.empty()) return false;
  for (int i = ClampIndex(static_cast<uint32_t>(index)); i >= 0; --i) {
    if (IsQrvKeyType(index_[i].type)) {
      state_->atStart = 0;
      state_->keyFrameFound = 1;
      stepping_.cursor = i;
      return true;
    }
  }
  return false;
}

bool CZKQRV::JpegCheckFrameShow(uint32_t) { return true; }

bool CZKQRV::JpegDoSleep(Event* stop) {
  PlaybackState& st = *state_;
  uint32_t t = st.pictureRecords[st.ringIndex % kRingSlots].timerInterval;
  const uint8_t level = st.speedLevel;
  if (level == kSpeedPaused) return true;
  if (level < kSpeedNormal) return SlowLevelSleep(st, stop, t);
  if (t >= 2000) t = 1993;  // a gap in the recording waits at most two seconds
  else if (t > 7) t -= 7;
  SleepUnlessStopped(st, stop, t >> SpeedStep(level));
  return true;
}

bool CZKQRV::GetNonAudioFrameIndex(uint32_t*) { return true; }

bool CZKQRV::IsMatchFormat(uint8_t) {
  sink_.Log("CZKQRV::IsMatchFormat : Not implement\n");
  return true;
}

}  // namespace tsv
