// DecodeThread: classifies each frame of the frame ring, decodes pictures
// into the picture ring and sound into the sound ring, and keeps the
// timing records that pacing and the sound clock use.
#include "engine/PlaybackEngine.h"
#include "formats/PesPacket.h"
#include "formats/Resolution.h"
#include "media/ImaAdpcm.h"
#include "media/VideoDecoder.h"

namespace tsv {

namespace {

// Pictures decoded before the render thread may show the first one when
// sound is late or absent.
constexpr uint32_t kPrerollPictures = 49;
// Deadlines of sound blocks beyond the frame time, in milliseconds.
constexpr uint32_t kLonePictureDeadline = 900;
constexpr uint32_t kSoundOnlyDeadline = 500;

}  // namespace

void PlaybackEngine::EndOnLastPicture() {
  PlaybackState& st = *state_;
  st.pictureEndMark[(pictureWrite_ + kRingSlots - 1) % kRingSlots] = 1;
  // When the render thread has taken every picture already, it will not
  // see the mark: playback ends here.
  if (pictureFilled_->Count() == 0) {
    reader_->SetFilePointerToPreIFrame(0);
    st.playing = 0;
    st.endReached = 1;
    abort_->Set();
  }
}

PlaybackEngine::FrameResult PlaybackEngine::SkipSoundFrame(uint32_t slot) {
  PlaybackState& st = *state_;
  // Sound is not played off normal speed, so the first picture must not
  // wait for it: a speed change can come while the render thread waits for
  // the sound to start.
  preroll_->Set();
  // A file that ends in sound still ends on its last picture.
  if (reader_->GetCurrentFrameIndex(slot) >= st.indexCount && !st.reverse) EndOnLastPicture();
  return FrameResult::Queued;
}

void PlaybackEngine::DecodeThreadStart() {
  PlaybackState& st = *state_;
  st.readSlotIndex = 0;
  st.audioWindowStart = 0;
  st.audioWindowEnd = 0;
  for (SoundRecord& rec : st.soundRecords) rec.Clear();
  pictureWrite_ = 0;
  soundWrite_ = 0;
}

bool PlaybackEngine::DecodeThreadFinish(uint32_t s, uint32_t size, FrameResult result) {
  PlaybackState& st = *state_;
  // The last frame lets the first picture go even when fewer pictures than
  // the preroll count and no sound came before it (a position near the end
  // of a file without sound there).
  if (size >= 4 && reader_->GetCurrentFrameIndex(s) >= st.indexCount) preroll_->Set();
  st.readSlotIndex = (s + 1) % kRingSlots;
  frameFree_->Release();
  switch (result) {
    case FrameResult::Queued:
      return true;
    case FrameResult::Dropped:
      // A preview ends without a picture rather than show a later one.
      if (singlePicture) {
        abort_->Set();
        return false;
      }
      return true;
    case FrameResult::NotDecoded:
      pictureFree_->Release();
      return true;
    case FrameResult::EndOfFile:
      pictureFilled_->Release();
      return false;
  }
  return true;
}

// Decodes the sound frame in `slot` into the next sound slot. The caller
// has filled the slot's SoundRecord timing.
PlaybackEngine::FrameResult PlaybackEngine::DecodeSoundFrame(uint32_t slot, uint32_t, bool) {
  PlaybackState& st = *state_;
  CRecFile& r = *reader_;
  const uint32_t size = r.GetCurrentFrameSize(slot);
  const uint32_t a = soundWrite_;
  st.soundReserves[a] = r.GetCurrentFrameReserve(slot);
  // Data beyond one PCM block is cut so the block never overflows.
  const std::size_t bytes = AdpcmBytesOfSoundFrame(size);
  const ImaAdpcmState seed = r.GetCurrentFrameADPCMState(slot);
  AdpcmDecoderState decoder;
  DecodeAdpcmBlock(decoder, static_cast<int>(bytes), r.FrameSlot(slot) + kSoundPacketHead,
                   reinterpret_cast<int16_t*>(soundRing_.get() + a * kSoundSlotSize), seed.stepIndex,
                   seed.predictor);
  // The sound thread plays 4 x (size - 64) bytes of PCM.
  st.soundSizes[a] = static_cast<uint32_t>(bytes + kSoundPacketHead);
  soundWrite_ = (a + 1) % kRingSlots;
  const uint32_t n = r.GetCurrentFrameIndex(slot);
  st.soundRecords[soundWrite_].frameNumber = n;
  // A file that ends in sound: the last picture marks the end.
  if (n == st.indexCount) st.pictureEndMark[(pictureWrite_ + kRingSlots - 1) % kRingSlots] = 1;
  soundFilled_->Release();
  return FrameResult::Queued;
}

void PlaybackEngine::DecodeThreadMpeg4() {
  PlaybackState& st = *state_;
  CRecFile& r = *reader_;
  DecodeThreadStart();
  bool startup = true;
  uint32_t startupPictures = 0;
  uint32_t first = 0, last = 0;  // frame times of the pictures since the last sound frame

  for (;;) {
    if (!WaitAbortOr(*abort_, *frameFilled_)) return;
    const uint32_t s = st.readSlotIndex;
    const uint8_t* payload = r.FrameSlot(s);
    const uint32_t size = r.GetCurrentFrameSize(s);
    uint32_t t = 0, width = 0, height = 0, reserved = 0, pictureType = 0;
    FrameResult result = FrameResult::Dropped;
    if (size >= 4 && r.ParseMp4FramePes(payload, size, &t, &width, &height, &reserved, &pictureType)) {
      const uint8_t kind = r.GetMp4FrameKind(payload);
      st.lastFrameKind = kind;
      const uint32_t m = t / 90;
      if (kind == kFrameSound) {
        startup = false;
        if (st.offSpeed) {
          result = SkipSoundFrame(s);
        } else {
          SoundRecord& rec = st.soundRecords[soundWrite_];
          rec.time = m;
          if (first == 0) {
            rec.syncTime = m;
            rec.deadline = m + kSoundOnlyDeadline;
          } else {
            rec.syncTime = std::max<uint32_t>(m, first);
            rec.deadline = last + kLonePictureDeadline;
            first = 0;
          }
          if (!WaitAbortOr(*abort_, *soundFree_)) return;
          result = DecodeSoundFrame(s, m, true);
        }
      } else if (kind == kFramePicture) {
        if (startup && ++startupPictures == kPrerollPictures) {
          preroll_->Set();
          startup = false;
        }
        const uint32_t v = pictureWrite_;
        if (first == 0) {
          first = m;
          last = m + kLonePictureDeadline;
        } else {
          last = m;
        }
        if (!WaitAbortOr(*abort_, *pictureFree_)) return;
        PictureRecord& rec = st.pictureRecords[v];
        st.pictureEndMark[v] = 0;
        rec.frameTime = m;
        rec.resolutionCode = r.GetCurrentFrameResolution(s, 0, 0, true);
        rec.timerInterval = r.GetCurrentFrameTimerInterval(s);
        const uint32_t n = r.GetCurrentFrameIndex(s);
        rec.frameNumber = n;
        r.GetCurrentFrameTimestamp(s, &rec.timestamp, true);
        if (rec.resolutionCode != st.decoderResolutionCode) {
          if (singlePicture) {
            abort_->Set();
            return;
          }
          st.decoderResolutionCode = rec.resolutionCode;
          // Codes with a decode size re-open the decoder at it; the others
          // (".vse" sizes) keep the size the open step found in the stream.
          if (auto decodeSize = VsxDecodeSize(rec.resolutionCode)) {
            ReopenMpeg4Decoder(st.decoder, decodeSize->width, decodeSize->height, st.predictedStreamMode);
          }
          st.frameWidth = st.decoder.width;
          st.frameHeight = st.decoder.height;
        }
        uint16_t w = st.frameWidth, h = st.frameHeight;
        uint8_t* picture = st.pictureRing.get() + static_cast<std::size_t>(v) * kPictureSlotBytes;
        if (!r.DoMp4Decode(payload, size, 1, pictureType, &w, &h, picture)) {
          result = FrameResult::NotDecoded;
        } else if (!r.MP4CheckFrameShow(n - 1)) {
          pictureFree_->Release();  // decoded as a reference, not shown
          result = FrameResult::Queued;
        } else if (n < st.indexCount || st.reverse) {
          pictureWrite_ = (v + 1) % kRingSlots;
          pictureFilled_->Release();
          result = FrameResult::Queued;
        } else {
          result = FrameResult::EndOfFile;
        }
      }
    }
    if (!DecodeThreadFinish(s, size, result)) return;
  }
}

void PlaybackEngine::DecodeThreadJpeg() {
  PlaybackState& st = *state_;
  CRecFile& r = *reader_;
  DecodeThreadStart();
  bool startup = true;
  uint32_t startupPictures = 0;
  uint32_t first = 0, last = 0;

  for (;;) {
    if (!WaitAbortOr(*abort_, *frameFilled_)) return;
    const uint32_t s = st.readSlotIndex;
    const uint8_t* payload = r.FrameSlot(s);
    const uint32_t size = r.GetCurrentFrameSize(s);
    uint32_t t = 0, width = 0, height = 0, reserved = 0, pictureType = 0;
    FrameResult result = FrameResult::Dropped;
    if (size >= 4 && r.ParseFramePes(payload, size, &t, &width, &height, &reserved, &pictureType)) {
      const uint8_t kind = r.GetJpegFrameKind(payload);
      st.lastFrameKind = kind;
      const uint32_t m = t / 90;
      if (kind == kFrameSound) {
        startup = false;
        if (st.offSpeed) {
          result = SkipSoundFrame(s);
        } else {
          SoundRecord& rec = st.soundRecords[soundWrite_];
          rec.time = m;
          rec.syncTime = m > first ? m : first;
          rec.deadline = (m > first ? m : last) + kLonePictureDeadline;
          first = 0;
          if (!WaitAbortOr(*abort_, *soundFree_)) return;
          result = DecodeSoundFrame(s, m, false);
        }
      } else if (kind == kFramePicture) {
        if (startup && ++startupPictures == kPrerollPictures) {
          preroll_->Set();
          startup = false;
        }
        const uint32_t v = pictureWrite_;
        if (first == 0) first = m;
        last = m;
        if (!WaitAbortOr(*abort_, *pictureFree_)) return;
        PictureRecord& rec = st.pictureRecords[v];
        st.pictureEndMark[v] = 0;
        rec.frameTime = m;
        uint8_t* picture = st.pictureRing.get() + static_cast<std::size_t>(v) * kPictureSlotBytes;
        uint16_t w = 0, h = 0;
        if (!r.DoJpegDecode(payload, size, picture, &w, &h)) {
          result = FrameResult::NotDecoded;
        } else {
          rec.resolutionCode = r.GetCurrentFrameResolution(s, w, h, true);
          rec.timerInterval = r.GetCurrentFrameTimerInterval(s);
          const uint32_t n = r.GetCurrentFrameIndex(s);
          rec.frameNumber = n;
          r.GetCurrentFrameTimestamp(s, &rec.timestamp, true);
          if (n < st.indexCount || st.reverse) {
            pictureWrite_ = (v + 1) % kRingSlots;
            pictureFilled_->Release();
            result = FrameResult::Queued;
          } else {
            result = FrameResult::EndOfFile;
          }
        }
      }
    }
    if (!DecodeThreadFinish(s, size, result)) return;
  }
}

}  // namespace tsv
