// The player's commands without a window: Stop, Pause, Play, the four
// speed commands, backward play, seeking on the slider, the seek preview,
// the loop back of a marked stretch and the hold logic of the fast buttons
// while paused. Each changes PlaybackState and stops and starts the engine
// as the window's buttons do; the Qt window and the command-line tool's
// play both drive this class from one thread.
#pragma once

#include <cstdint>

#include "engine/PlaybackEngine.h"

namespace tsv {

// Buttons whose look the commands change.
enum class PlayerButton { Pause, Play, Osd };

class PlayerFrontEnd {
 public:
  virtual ~PlayerFrontEnd() = default;
  virtual void ButtonLook(PlayerButton button, bool latched) = 0;
  // The duration text (speed label) or the title strip must be redrawn.
  virtual void DurationTextChanged() = 0;
  // The slider's position in percent.
  virtual uint16_t SliderPosition() = 0;
};

// Indexes of the fast buttons among the window's controls.
constexpr int kFastRewindButton = 3;
constexpr int kFastForwardButton = 7;

class PlayerCommands {
 public:
  PlayerCommands(PlaybackEngine& engine, CRecFile& reader, PlayerFrontEnd& frontEnd);

  // The file set-up of an opened reader, then the engine starts playing
  // forwards from the first frame.
  bool Start();

  void Stop();
  void Pause();
  void Play();
  void SlowForward();
  void FastForward();
  void SlowRewind();
  void FastRewind();
  // The slider released at a position: play on from there.
  void ResumeAtSlider();
  // The slider pressed: the engine stops for the seek and backward play is
  // set aside while the slider is dragged.
  void BeginSeek();
  // The slider dragged to a position (the window's 300 ms timer): show one
  // picture there.
  void Preview(uint16_t percent);
  // The slider released at a position: play on from there, in the
  // direction played before, held when paused.
  void EndSeek(uint16_t position);
  bool seeking() const { return seeking_; }
  // The end of a marked stretch was shown: play it again from its start.
  void LoopBack(uint32_t firstMarkFrame);
  // A fast button pressed while paused, held for a second, and released.
  void FastButtonDown(int button);
  void FastButtonHeld();
  void FastButtonUp();
  // Stops the engine for good.
  void Close();

 private:
  void StopEngine();
  void StartEngine();
  void ChangeLevel(int delta);
  void StartBackwardPlay();
  void ReformatDuration();
  void ResetRingCounters();
  bool SoundBlockBusy() const;

  PlaybackEngine& engine_;
  CRecFile& reader_;
  PlayerFrontEnd& frontEnd_;
  bool holdTimerRunning_ = false;
  bool seeking_ = false;
  uint32_t savedReverse_ = 0;
};

}  // namespace tsv
