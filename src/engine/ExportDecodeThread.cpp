// The export decoder thread: decodes the pictures of the marked stretch
// into the exporter's picture slots and hands each to the front end, at
// most two ahead of it. Pictures between the key picture where reading
// starts and the first mark are decoded only as references.
#include "engine/ClipExporter.h"
#include "formats/Resolution.h"
#include "media/VideoDecoder.h"

namespace tsv {

bool ClipExporter::DecodePicture(uint32_t slot, uint8_t* out, uint16_t* width, uint16_t* height,
                                 uint32_t* frameTime) {
  CRecFile& r = *reader_;
  PlaybackState& st = r.state();
  const uint8_t* payload = r.FrameSlot(slot);
  const uint32_t size = r.GetCurrentFrameSize(slot);
  uint32_t t = 0, w = 0, h = 0, reserved = 0, pictureType = 0;
  if ((st.decoder.kind & 0xFF) != kDecoderMpeg4) {
    if (!r.ParseFramePes(payload, size, &t, &w, &h, &reserved, &pictureType)) return false;
    *frameTime = t / 90;
    return r.DoJpegDecode(payload, size, out, width, height);
  }
  if (!r.ParseMp4FramePes(payload, size, &t, &w, &h, &reserved, &pictureType)) return false;
  *frameTime = t / 90;
  const uint8_t code = r.GetCurrentFrameResolution(slot, 0, 0, true);
  if (code != st.decoderResolutionCode) {
    st.decoderResolutionCode = code;
    if (auto decodeSize = VsxDecodeSize(code))
      ReopenMpeg4Decoder(st.decoder, decodeSize->width, decodeSize->height, st.predictedStreamMode);
    st.frameWidth = st.decoder.width;
    st.frameHeight = st.decoder.height;
  }
  *width = st.frameWidth;
  *height = st.frameHeight;
  return r.DoMp4Decode(payload, size, 1, pictureType, width, height, out);
}

void ClipExporter::DecodeThread() {
  CRecFile& r = *reader_;
  PlaybackState& st = r.state();
  const bool mpeg4 = (st.decoder.kind & 0xFF) == kDecoderMpeg4;
  st.decoderResolutionCode = 0xFF;  // the first picture sets the decoder up
  uint32_t s = 0;
  while (NextFrame(&s)) {
    const uint8_t* payload = r.FrameSlot(s);
    const uint32_t n = r.GetCurrentFrameIndex(s);
    const bool picture = r.GetCurrentFrameSize(s) >= 4 &&
                         (mpeg4 ? r.GetMp4FrameKind(payload) : r.GetJpegFrameKind(payload)) == kFramePicture;
    if (picture) {
      Picture& p = pictures_[pictureWrite_];
      PictureRecord& rec = p.record;
      if (DecodePicture(s, p.pixels.get(), &p.width, &p.height, &rec.frameTime) && n >= request_.firstFrame &&
          n <= request_.lastFrame) {
        rec.frameNumber = n;
        rec.resolutionCode = r.GetCurrentFrameResolution(s, p.width, p.height, true);
        rec.timerInterval = r.GetCurrentFrameTimerInterval(s);
        r.GetCurrentFrameTimestamp(s, &rec.timestamp, true);
        if (startFrame_ == 0) startFrame_ = n;
        if (!WaitAbortOr(*stop_, *handOff_)) return;
        ++picturesPosted_;
        events_.ExportPictureReady(*this);
        pictureWrite_ = (pictureWrite_ + 1) % kExportPictureSlots;
      }
    }
    FrameDone(s);
    if (n >= request_.lastFrame) break;
  }
  Ended();
}

}  // namespace tsv
