// The export MP4 thread: copies the coded pictures of the marked stretch,
// from the key picture at or before the first mark, into a standard MP4
// file with the sound as AAC and the recorded date and time as subtitles.
// Streams whose predicted pictures all refer to their key picture cannot
// be copied (a standard decoder would predict each from the one before and
// drift), so their pictures are decoded here and encoded again.
#include "engine/ClipExporter.h"
#include "formats/PesPacket.h"
#include "formats/Resolution.h"
#include "formats/SegmentOutput.h"
#include "media/ImaAdpcm.h"
#include "media/Mp4ClipWriter.h"
#include "media/VideoDecoder.h"
#include "media/jpeg/JpegPicture.h"

namespace tsv {

namespace {

// Whether the recording has sound between two index entries.
bool HasSound(const CRecFile& r, uint32_t fromEntry, uint32_t toEntry) {
  for (uint32_t i = fromEntry; i <= toEntry; ++i)
    if (r.IsSoundEntry(i)) return true;
  return false;
}

}  // namespace

void ClipExporter::Mp4Thread() {
  CRecFile& r = *reader_;
  PlaybackState& st = r.state();
  const bool mpeg4 = (st.decoder.kind & 0xFF) == kDecoderMpeg4;
  const bool encode = mpeg4 && st.predictedStreamMode == 1;
  st.decoderResolutionCode = 0xFF;
  std::unique_ptr<uint8_t[]> decoded(new uint8_t[kPictureSlotBytes]);
  std::vector<int16_t> pcm(kPcmBlockBytes / 2);
  // The sound frame before the first picture: a sound frame precedes the
  // picture of the same time.
  std::vector<int16_t> early;
  uint32_t earlyTime = 0;
  Mp4ClipWriter mp4;
  bool opened = false, ok = true;
  uint32_t s = 0;
  while (NextFrame(&s)) {
    const uint8_t* payload = r.FrameSlot(s);
    const uint32_t size = r.GetCurrentFrameSize(s);
    const uint32_t n = r.GetCurrentFrameIndex(s);
    uint32_t t = 0, w = 0, h = 0, reserved = 0, pictureType = 0;
    const bool parsed = size >= 4 && (mpeg4 ? r.ParseMp4FramePes(payload, size, &t, &w, &h, &reserved, &pictureType)
                                            : r.ParseFramePes(payload, size, &t, &w, &h, &reserved, &pictureType));
    const uint8_t kind = !parsed ? kFrameOther : mpeg4 ? r.GetMp4FrameKind(payload) : r.GetJpegFrameKind(payload);
    const uint32_t m = t / 90;
    if (ok && kind == kFramePicture) {
      const bool key = !mpeg4 || pictureType == 1;
      uint16_t width = 0, height = 0;
      uint32_t frameTime = 0;
      // The copy starts at a key picture; pictures before it cannot be shown.
      const bool decode = encode || !opened;
      const bool pictureOk = (opened || key) && (!decode || DecodePicture(s, decoded.get(), &width, &height, &frameTime));
      if (pictureOk && !opened) {
        Mp4ClipSettings settings;
        settings.codec = encode ? Mp4VideoCodec::Mpeg4Encode : mpeg4 ? Mp4VideoCodec::Mpeg4Copy : Mp4VideoCodec::JpegCopy;
        settings.width = width;
        settings.height = height;
        settings.sound = HasSound(r, n - 1, request_.lastFrame - 1);
        r.GetCurrentFrameTimestamp(s, &settings.start, true);
        std::string error;
        ok = mp4.Open(request_.folder, SegmentStem(settings.start), settings, &error);
        if (!ok) ReportFailure();
        opened = ok;
        if (ok) startFrame_ = n;
      }
      if (opened && pictureOk) {
        if (encode) {
          ok = mp4.AddRawPicture(decoded.get(), m);
        } else {
          std::size_t from = PacketPayloadOffset(payload, size);
          if (!mpeg4) from = FindJpegStart(payload, size, from);
          ok = from < size && mp4.AddPicture(payload + from, size - from, m, key);
        }
        // The sound that began before the picture: the writer keeps what
        // plays from the picture's time on.
        if (ok && !early.empty()) ok = mp4.AddSound(early.data(), early.size(), earlyTime);
        early.clear();
        if (ok) picturesWritten_ = mp4.picturesWritten();
        else ReportFailure();
      }
    } else if (ok && kind == kFrameSound) {
      const std::size_t bytes = AdpcmBytesOfSoundFrame(size);
      const ImaAdpcmState seed = r.GetCurrentFrameADPCMState(s);
      AdpcmDecoderState decoder;
      DecodeAdpcmBlock(decoder, static_cast<int>(bytes), payload + kSoundPacketHead, pcm.data(), seed.stepIndex,
                       seed.predictor);
      if (opened) {
        ok = mp4.AddSound(pcm.data(), 2 * bytes, m);
        if (!ok) ReportFailure();
      } else {
        early.assign(pcm.begin(), pcm.begin() + 2 * bytes);
        earlyTime = m;
      }
    }
    FrameDone(s);
    if (n >= request_.lastFrame) break;
  }
  if (stop_->IsSet()) return;  // the writer removes its unfinished file
  std::string error;
  if (ok && opened && mp4.Finish(&error)) {
    outputPath_ = mp4.path();
    workSucceeded_ = true;
  } else if (ok) {
    ReportFailure();
  }
  Ended();
}

}  // namespace tsv
