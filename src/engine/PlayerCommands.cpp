#include "engine/PlayerCommands.h"

#include "engine/WaveOutput.h"
#include "formats/Resolution.h"

namespace tsv {

PlayerCommands::PlayerCommands(PlaybackEngine& engine, CRecFile& reader, PlayerFrontEnd& frontEnd)
    : engine_(engine), reader_(reader), frontEnd_(frontEnd) {}

void PlayerCommands::StopEngine() {
  engine_.StopEngine();
  engine_.CloseEngineObjects();
}

void PlayerCommands::StartEngine() {
  engine_.CreateEngineObjects();
  engine_.StartEngine();
}

void PlayerCommands::ResetRingCounters() {
  PlaybackState& st = reader_.state();
  st.ringIndex = 0;
  st.readSlotIndex = 0;
}

void PlayerCommands::ReformatDuration() {
  PlaybackState& st = reader_.state();
  st.durationText = FormatDurationText(st.durationSeconds, st.speedLevel);
  frontEnd_.DurationTextChanged();
}

bool PlayerCommands::SoundBlockBusy() const {
  const PlaybackState& st = reader_.state();
  return (st.soundReserves[st.soundReadIndex % kRingSlots] & 1) != 0;
}

bool PlayerCommands::Start() {
  PlaybackState& st = reader_.state();
  ResetRingCounters();
  st.playing = 1;
  st.paused = 0;
  st.endReached = 0;
  st.atStart = 1;
  st.keyFrameFound = 0;
  st.speedLevel = kSpeedNormal;
  st.offSpeed = 0;
  const uint8_t code = reader_.GetFileResolution();
  if (auto size = DisplaySize(code)) {
    st.layoutIndex = code;
    st.frameWidth = size->width;
    st.frameHeight = size->height;
  }
  if (!engine_.CreateEngineObjects()) return false;
  return engine_.StartEngine();
}

void PlayerCommands::Stop() {
  PlaybackState& st = reader_.state();
  StopEngine();
  reader_.SetFilePointerToPreIFrame(Percent{0});
  st.speedLevel = kSpeedNormal;
  st.paused = 0;
  st.playing = 0;
  st.offSpeed = 0;
  st.reverse = 0;
  st.progressPercent = 0;
  st.videoPacing = st.defaultVideoPacing.load();
  frontEnd_.ButtonLook(PlayerButton::Pause, false);
  ReformatDuration();
}

void PlayerCommands::Pause() {
  PlaybackState& st = reader_.state();
  if (!st.playing) {
    st.paused = 0;
    frontEnd_.ButtonLook(PlayerButton::Pause, false);
    return;
  }
  if (!st.paused) {
    st.paused = 1;
    frontEnd_.ButtonLook(PlayerButton::Pause, true);
    PauseWaveOutput(*engine_.waveOutput());
    if (engine_.runEvent()) engine_.runEvent()->Reset();
    st.savedSpeedLevel = st.speedLevel.load();
    st.speedLevel = kSpeedPaused;
    return;
  }
  st.paused = 0;
  frontEnd_.ButtonLook(PlayerButton::Pause, false);
  st.speedLevel = st.savedSpeedLevel.load();
  if (st.holdPending && !st.reverse) {
    st.holdPending = 0;
    ResumeAtSlider();
    return;
  }
  if (engine_.runEvent()) engine_.runEvent()->Set();
  if (!st.offSpeed) RestartWaveOutput(*engine_.waveOutput());
}

void PlayerCommands::Play() {
  PlaybackState& st = reader_.state();
  if (!st.playing) {
    StopEngine();
    st.paused = 0;
    st.playing = 1;
    StartEngine();
    if (engine_.runEvent()) engine_.runEvent()->Set();
  }
  if (st.reverse) {
    Stop();
    st.seekPercent = frontEnd_.SliderPosition();
    reader_.SetFilePointerToPreIFrame(Percent{st.seekPercent});
    st.endReached = 0;
    st.progressPercent = st.seekPercent.load();
    st.paused = 0;
    st.playing = 1;
    StartEngine();
  }
  if (st.offSpeed) {
    st.offSpeed = 0;
    ResumeAtSlider();
  }
  if (st.paused) Pause();
  st.speedLevel = kSpeedNormal;
  ReformatDuration();
  frontEnd_.ButtonLook(PlayerButton::Play, false);
  frontEnd_.ButtonLook(PlayerButton::Pause, false);
}

void PlayerCommands::ChangeLevel(int delta) {
  PlaybackState& st = reader_.state();
  if (SoundBlockBusy()) return;
  const int level = static_cast<int>(st.speedLevel) + delta;
  if (level < 0 || level > 8) return;  // slower than 1/16 or faster than 16
  if (level != kSpeedNormal) {
    ResetWaveOutput(*engine_.waveOutput());
    st.offSpeed = 1;
  } else if (!st.reverse) {
    st.offSpeed = 0;
    ResumeAtSlider();
  }
  st.speedLevel = static_cast<uint8_t>(level);
  ReformatDuration();
}

void PlayerCommands::SlowForward() {
  PlaybackState& st = reader_.state();
  if (st.audioOnly || st.paused) return;
  if (st.reverse) return Play();
  ChangeLevel(-1);
}

void PlayerCommands::FastForward() {
  PlaybackState& st = reader_.state();
  if (st.audioOnly) return;
  if (st.paused && st.timerStepArmed) {
    st.timerStepArmed = 0;
    if (st.savedSpeedLevel == kSpeedNormal) st.holdPending = 1;
    return;
  }
  if (st.reverse && !st.paused) return Play();
  if (st.reverse && st.paused) {
    // Turn forwards from the picture on screen.
    st.stepRequest = 1;
    StopEngine();
    const uint32_t shown = st.pictureRecords[st.ringIndex % kRingSlots].frameNumber;
    if (shown >= st.indexCount) return;
    reader_.SetFilePointerToPreIFrame(static_cast<int>(shown) - 1);
    st.showFromFrame = 1;
    st.showFromFrameNumber = shown;
    st.reverse = 0;
    st.playing = 1;
    st.endReached = 0;
    ResetRingCounters();
    StartEngine();
    return;
  }
  if (st.paused) {
    st.stepRequest = 1;
    if (engine_.runEvent()) engine_.runEvent()->Set();
    if (st.savedSpeedLevel == kSpeedNormal) st.holdPending = 1;
    return;
  }
  ChangeLevel(+1);
}

void PlayerCommands::SlowRewind() {
  PlaybackState& st = reader_.state();
  if (st.audioOnly || st.paused) return;
  if (!st.reverse) return StartBackwardPlay();
  ChangeLevel(-1);
}

void PlayerCommands::FastRewind() {
  PlaybackState& st = reader_.state();
  if (st.audioOnly) return;
  if (st.paused && st.timerStepArmed) {
    st.timerStepArmed = 0;
    return;
  }
  if (!st.reverse) {
    if (st.paused) st.stepRequest = 1;
    return StartBackwardPlay();
  }
  if (st.paused) {
    st.stepRequest = 1;
    if (engine_.runEvent()) engine_.runEvent()->Set();
    return;
  }
  ChangeLevel(+1);
}

void PlayerCommands::StartBackwardPlay() {
  PlaybackState& st = reader_.state();
  StopEngine();
  uint32_t shown = st.pictureRecords[st.ringIndex % kRingSlots].frameNumber;
  if (shown != 0) --shown;
  if (!reader_.FindNextIndexRange(static_cast<int>(shown))) return;
  if (!st.paused) {
    st.speedLevel = kSpeedNormal;
    st.savedSpeedLevel = kSpeedNormal;
    ReformatDuration();
  }
  st.offSpeed = 1;
  st.videoPacing = 1;
  st.reverse = 1;
  StartEngine();
}

void PlayerCommands::ResumeAtSlider() {
  PlaybackState& st = reader_.state();
  st.offSpeed = 0;
  const uint16_t position = frontEnd_.SliderPosition();
  StopEngine();
  st.seekPercent = position;
  reader_.SetFilePointerToPreIFrame(Percent{position});
  st.videoPacing = st.defaultVideoPacing.load();
  st.playing = 1;
  st.endReached = 0;
  ResetRingCounters();
  st.progressPercent = position;
  StartEngine();
}

void PlayerCommands::Preview(uint16_t percent) {
  PlaybackState& st = reader_.state();
  StopEngine();
  st.seekPercent = percent;
  reader_.SetFilePointerToPreIFrame(Percent{percent});
  st.playing = 1;
  st.endReached = 0;
  ResetRingCounters();
  st.progressPercent = percent;
  // The preview reads forwards from the new position even in backward
  // play, so that it shows the picture there, not the next one of the
  // walk that was under way.
  const uint32_t reverse = st.reverse.exchange(0);
  engine_.singlePicture = 1;
  StartEngine();
  engine_.StopEngine();  // ends by itself after one picture
  engine_.singlePicture = 0;
  st.reverse = reverse;
}

void PlayerCommands::BeginSeek() {
  if (seeking_) return;
  PlaybackState& st = reader_.state();
  StopEngine();
  savedReverse_ = st.reverse.exchange(0);
  seeking_ = true;
}

void PlayerCommands::EndSeek(uint16_t position) {
  if (!seeking_) return;
  PlaybackState& st = reader_.state();
  StopEngine();
  st.seekPercent = position;
  st.reverse = savedReverse_;
  if (!st.reverse) {
    reader_.SetFilePointerToPreIFrame(Percent{position});
  } else {
    // Backward play goes on from the new place.
    const uint32_t frame = reader_.PercentToFrameIndex(position);
    if (frame != 0 && reader_.FindNextIndexRange(static_cast<int>(frame) - 1)) {
      st.offSpeed = 1;
      st.videoPacing = 1;
      st.reverse = 1;
    }
  }
  st.progressPercent = st.seekPercent.load();
  st.playing = 1;
  st.endReached = 0;
  ResetRingCounters();
  engine_.CreateEngineObjects();
  if (st.paused) {
    frontEnd_.ButtonLook(PlayerButton::Pause, true);
    engine_.runEvent()->Reset();  // the engine starts held
  }
  engine_.StartEngine();
  seeking_ = false;
}

void PlayerCommands::LoopBack(uint32_t firstMarkFrame) {
  PlaybackState& st = reader_.state();
  StopEngine();
  reader_.SetFilePointerToPreIFrame(static_cast<int>(firstMarkFrame));
  st.playing = 1;
  st.endReached = 0;
  ResetRingCounters();
  StartEngine();
}

void PlayerCommands::FastButtonDown(int button) {
  PlaybackState& st = reader_.state();
  if (!st.paused) return;
  st.timerStepArmed = 0;
  st.pendingFastButton = button;
  holdTimerRunning_ = true;
}

void PlayerCommands::FastButtonHeld() {
  PlaybackState& st = reader_.state();
  if (!holdTimerRunning_) return;
  holdTimerRunning_ = false;
  const int button = st.pendingFastButton;
  if (st.reverse && button == kFastForwardButton) FastForward();
  if (!st.reverse && button == kFastRewindButton) FastRewind();
  st.stepRequest = 0;
  st.videoPacing = 1;
  st.speedLevel = kSpeedNormal;
  st.timerStepArmed = 1;
  if (engine_.runEvent()) engine_.runEvent()->Set();
}

void PlayerCommands::FastButtonUp() {
  PlaybackState& st = reader_.state();
  holdTimerRunning_ = false;
  if (st.paused) {
    st.speedLevel = kSpeedPaused;
    if (engine_.runEvent()) engine_.runEvent()->Reset();
  }
  const int button = st.pendingFastButton;
  if (button == kFastForwardButton) FastForward();
  else if (button == kFastRewindButton) FastRewind();
  st.pendingFastButton = -1;
}

void PlayerCommands::Close() {
  if (engine_.abortEvent()) engine_.abortEvent()->Set();
  StopEngine();
}

}  // namespace tsv
