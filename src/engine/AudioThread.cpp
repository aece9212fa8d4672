// AudioThread: hands decoded sound blocks to the sound device in order;
// the device's report of each finished block moves the audio window that
// picture pacing follows.
#include "engine/PlaybackEngine.h"
#include "engine/WaveOutput.h"

namespace tsv {

void PlaybackEngine::AudioThread() {
  PlaybackState& st = *state_;
  st.soundReadIndex = 0;
  completionIndex_ = 0;
  // Without a device every block is refused, and a refused block gives its
  // slot back at once, so the pipeline goes on silently.
  OpenWaveOutput(*wave_, audioKind_, *abort_, *soundFree_, [this] { OnSoundBlockDone(); });
  uint32_t header = 0;
  bool firstBlock = true;
  uint32_t blocks = 0;
  for (;;) {
    if (!WaitAbortOr(*abort_, *soundFilled_)) break;
    if (!WaitAbortOr(*abort_, *run_)) break;  // pause holds here
    const uint32_t index = st.soundReadIndex;
    if (firstBlock) {
      st.audioWindowStart = st.soundRecords[index].syncTime.load();
      st.audioWindowEnd = st.soundRecords[index].deadline.load();
      preroll_->Set();
      firstBlock = false;
    }
    ++blocks;
    const uint32_t bytes = 4 * st.soundSizes[index] - 4 * 64;
    PlayBlock(*wave_, header, soundRing_.get() + static_cast<std::size_t>(index) * kSoundSlotSize, bytes);
    header = (header + 1) % kRingSlots;
    st.soundReadIndex = (index + 1) % kRingSlots;
    if (st.audioOnly && blocks >= st.indexCount) {
      abort_->Set();
      reader_->SetFilePointerToPreIFrame(0);
      st.playing = 0;
      st.endReached = 1;
      break;
    }
  }
  CloseWaveOutput(*wave_);
}

void PlaybackEngine::OnSoundBlockDone() {
  PlaybackState& st = *state_;
  ++soundBlocksPlayed;
  uint32_t k = completionIndex_;
  // Skip the records whose window is the one already in force.
  for (uint32_t n = 0; n < kRingSlots; ++n) {
    SoundRecord& rec = st.soundRecords[k];
    if (rec.syncTime != st.audioWindowStart || rec.deadline != st.audioWindowEnd) break;
    rec.syncTime = 0;
    rec.deadline = 0;
    k = (k + 1) % kRingSlots;
  }
  SoundRecord& rec = st.soundRecords[k];
  st.audioWindowStart = rec.syncTime.load();
  st.audioWindowEnd = rec.deadline.load();
  rec.syncTime = 0;
  rec.deadline = 0;
  if (!st.audioOnly && st.indexCount <= rec.frameNumber) {
    // The last frame's sound has played.
    st.progressPercent = 100;
    ReportProgress(100);
    abort_->Set();
  }
  completionIndex_ = (k + 1) % kRingSlots;
}

}  // namespace tsv
