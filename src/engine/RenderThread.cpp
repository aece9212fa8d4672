// RenderThread: paces each decoded picture, tells the slider where
// playback stands, draws the picture and ends playback at the end of the
// file, of a marked stretch, or (backwards) at frame 1.
#include "engine/PicturePacing.h"
#include "engine/PlaybackEngine.h"
#include "formats/Resolution.h"

namespace tsv {

namespace {

uint16_t PercentOf(uint32_t frameNumber, uint32_t indexCount) {
  if (frameNumber <= 1 || indexCount == 0) return 0;
  const uint64_t percent = static_cast<uint64_t>(frameNumber) * 100 / indexCount;
  return static_cast<uint16_t>(percent > 100 ? 100 : percent);
}

}  // namespace

// One loop for both stream kinds: JPEG streams are paced through the
// reader and also report 100 percent when no key picture follows.
void PlaybackEngine::RenderThread() {
  PlaybackState& st = *state_;
  CRecFile& r = *reader_;
  const bool mpeg4 = (st.decoder.kind & 0xFF) == kDecoderMpeg4;
  st.ringIndex = 0;
  bool firstPicture = true;
  for (;;) {
    if (!WaitAbortOr(*abort_, *pictureFilled_)) return;
    const uint32_t ring = st.ringIndex;
    PictureRecord record = st.pictureRecords[ring];
    record.frameNumber += st.pictureEndMark[ring];
    if (firstPicture) {
      // The first picture waits for the sound to start (or for the
      // pipeline to fill when no sound comes), unless pictures keep their
      // own pace.
      if (st.offSpeed == 0 && st.videoPacing == 0 && !WaitAbortOr(*abort_, *preroll_)) return;
      firstPicture = false;
    } else if (mpeg4) {
      if (!PacePicture(st, record.timerInterval, record.frameTime, clock_, *abort_)) return;
    } else if (!r.JpegDoSleep(abort_.get())) {
      return;
    }

    uint16_t percent = PercentOf(record.frameNumber, st.indexCount);
    if (!mpeg4 && record.frameNumber > 1 && !r.SearchIFrameExist(record.frameNumber)) percent = 100;
    st.progressPercent = percent;
    ReportProgress(percent);

    if (record.resolutionCode != st.layoutIndex) {
      if (!mpeg4 && singlePicture) {
        abort_->Set();
        return;
      }
      st.layoutIndex = record.resolutionCode;
      if (!mpeg4) {
        if (auto shown = DisplaySize(record.resolutionCode)) {
          st.frameWidth = shown->width;
          st.frameHeight = shown->height;
        }
      }
      if (!fullScreen) events_.PictureSizeChanged();
    }

    DrawRequest draw;
    draw.picture = st.pictureRing.get() + static_cast<std::size_t>(ring) * kPictureSlotBytes;
    draw.width = st.frameWidth;
    draw.height = st.frameHeight;
    draw.layoutIndex = st.layoutIndex;
    draw.percent = percent;
    draw.colours = st.displayColours;
    draw.record = record;
    pictures_.DrawPicture(draw);

    if (singlePicture) {
      abort_->Set();
      return;
    }
    if (st.stepRequest) {
      st.stepRequest = 0;
      run_->Reset();  // pause after this picture
    }
    if (!WaitAbortOr(*abort_, *run_)) return;  // pause holds here

    if (st.marksComplete && !st.reverse && record.frameNumber == st.secondMarkFrame) {
      ReportProgress(static_cast<uint16_t>(st.secondMarkPercent));
      abort_->Set();
      events_.StretchEnded();
      return;
    }
    if ((record.frameNumber >= st.indexCount && !st.reverse) || (st.reverse && record.frameNumber == 1)) {
      if (!mpeg4) r.SetFilePointerToPreIFrame(0);
      abort_->Set();
      if (mpeg4) r.SetFilePointerToPreIFrame(0);
      st.playing = 0;
      st.endReached = 1;
      return;
    }
    st.ringIndex = (ring + 1) % kRingSlots;
    pictureFree_->Release();
  }
}

}  // namespace tsv
