#include "engine/PlaybackEngine.h"

#include <chrono>

#include "engine/WaveOutput.h"
#include "media/VideoDecoder.h"
#include "platform/DesktopFolder.h"

namespace tsv {

namespace {

// How long a seek preview may take to show its one picture before the
// engine is stopped like any other run.
constexpr auto kPreviewBound = std::chrono::milliseconds(1000);

}  // namespace

PlaybackEngine::PlaybackEngine(PictureSink& pictures, EventSink& events, Clock& clock)
    : pictures_(pictures), events_(events), clock_(clock), wave_(std::make_unique<WaveOutput>()) {}

PlaybackEngine::~PlaybackEngine() {
  if (abort_) abort_->Set();
  StopEngine();
  CloseEngineObjects();
  ReleaseFileBuffers();
}

bool PlaybackEngine::PrepareFileBuffers(CRecFile& reader) {
  reader_ = &reader;
  state_ = &reader.state();
  PlaybackState& st = *state_;
  st.snapshotFolder = DesktopFolder();
  st.displayColours = {0xDDDD10, 0xFFFFFF, 0x00F2FF};
  for (auto& reserve : st.soundReserves) reserve = 0;
  st.languageId = 1033;
  st.clock = &clock_;
  PrepareRings(st, true);
  if (!soundRing_) soundRing_.reset(new uint8_t[kRingSlots * kSoundSlotSize]());
  if (!PrepareWaveBuffers(*wave_)) return false;
  return CreateMpeg4Decoder(st.decoder);
}

void PlaybackEngine::ReleaseFileBuffers() {
  if (wave_) ReleaseWaveBuffers(*wave_);
  soundRing_.reset();
  if (state_) DestroyMpeg4Decoder(state_->decoder);
}

bool PlaybackEngine::CreateEngineObjects() {
  if (!frameFree_) frameFree_ = std::make_unique<Semaphore>(kRingPermits, kRingPermits, sync_);
  if (!frameFilled_) frameFilled_ = std::make_unique<Semaphore>(0, kRingPermits, sync_);
  if (!pictureFree_) pictureFree_ = std::make_unique<Semaphore>(kRingPermits, kRingPermits, sync_);
  if (!pictureFilled_) pictureFilled_ = std::make_unique<Semaphore>(0, kRingPermits, sync_);
  if (!soundFree_) soundFree_ = std::make_unique<Semaphore>(kRingPermits, kRingPermits, sync_);
  if (!soundFilled_) soundFilled_ = std::make_unique<Semaphore>(0, kRingPermits, sync_);
  if (abort_) abort_->Reset();
  else abort_ = std::make_unique<Event>(true, false, &sync_);
  if (run_) run_->Set();
  else run_ = std::make_unique<Event>(true, true, &sync_);
  if (preroll_) preroll_->Reset();
  else preroll_ = std::make_unique<Event>(false, true, &sync_);
  return true;
}

bool PlaybackEngine::StartEngine() {
  if (!reader_ || !abort_ || threadsStarted_) return false;
  const uint32_t kind = state_->decoder.kind & 0xFF;
  if (kind != kDecoderJpeg && kind != kDecoderMpeg4) return false;
  state_->playing = 1;
  preroll_->Reset();
  const bool mpeg4 = kind == kDecoderMpeg4;
  reader_thread_ = std::thread(mpeg4 ? &PlaybackEngine::ReaderThreadMpeg4 : &PlaybackEngine::ReaderThreadJpeg, this);
  decode_thread_ = std::thread(mpeg4 ? &PlaybackEngine::DecodeThreadMpeg4 : &PlaybackEngine::DecodeThreadJpeg, this);
  render_thread_ = std::thread(&PlaybackEngine::RenderThread, this);
  audio_thread_ = std::thread(&PlaybackEngine::AudioThread, this);
  threadsStarted_ = true;
  return true;
}

bool PlaybackEngine::StopEngine() {
  if (!threadsStarted_) {
    if (state_) state_->playing = 0;
    return true;
  }
  if (!singlePicture) {
    abort_->Set();
  } else if (!abort_->WaitFor(kPreviewBound)) {
    // The preview found no picture to show (an unreadable position).
    abort_->Set();
  }
  preroll_->Set();
  for (std::thread* t : {&reader_thread_, &decode_thread_, &render_thread_, &audio_thread_})
    if (t->joinable()) t->join();
  threadsStarted_ = false;
  state_->playing = 0;
  return true;
}

bool PlaybackEngine::CloseEngineObjects() {
  if (threadsStarted_) return false;
  frameFree_.reset();
  frameFilled_.reset();
  pictureFree_.reset();
  pictureFilled_.reset();
  soundFree_.reset();
  soundFilled_.reset();
  abort_.reset();
  run_.reset();
  preroll_.reset();
  return true;
}

void PlaybackEngine::ReportProgress(uint16_t percent) {
  std::lock_guard lock(sliderLock);
  events_.ProgressPercent(percent);
}

}  // namespace tsv
