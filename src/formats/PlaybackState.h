// The per-file state shared by the reader, the engine, the window and the
// progress slider. It is shared data, not a place for logic: the reader
// that owns it allocates it at construction and frees it on destruction.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "formats/FrameInfo.h"
#include "media/VideoDecoderSlot.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/SystemTime.h"

namespace tsv {

constexpr uint32_t kRingSlots = 50;
constexpr std::size_t kFrameSlotSize = 102400;
constexpr std::size_t kPictureSlotBytes = 1572864;
constexpr std::size_t kSoundSlotSize = 8192;
constexpr uint8_t kSpeedNormal = 4;
constexpr uint8_t kSpeedPaused = 16;

// The speed texts of levels 0..8 ("1/16" ... "16"); "" for other levels.
const char* SpeedText(uint8_t level);

// One decoded picture's facts, per picture-ring slot.
struct PictureRecord {
  uint32_t frameNumber = 0;
  uint32_t timerInterval = 0;  // milliseconds
  uint32_t frameTime = 0;      // milliseconds of stream time
  SYSTEMTIME timestamp;
  uint8_t resolutionCode = 0;
};

// One decoded sound block's timing, per sound-ring slot. Written by the
// decode thread, read and cleared by the sound device's completion.
struct SoundRecord {
  std::atomic<uint32_t> time{0};      // milliseconds of stream time
  std::atomic<uint32_t> syncTime{0};  // milliseconds
  std::atomic<uint32_t> deadline{0};  // milliseconds
  std::atomic<uint32_t> frameNumber{0};
  void Clear() { time = syncTime = deadline = frameNumber = 0; }
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct PlaybackState {
  // Output folder of snapshots, exports and segments; set by the front end.
  std::string snapshotFolder;
  std::string folder;
  std::string filePath;

  // Written by the render thread (and the window between runs), read by all.
  std::atomic<uint32_t> layoutIndex{0};
  std::atomic<uint8_t> decoderResolutionCode{0xFF};  // decode thread only
  std::atomic<uint16_t> frameWidth{0};
  std::atomic<uint16_t> frameHeight{0};

  // Rings: allocated once per file by PrepareRings; slot n of a ring starts
  // at n times its slot size.
  std::unique_ptr<uint8_t[]> frameRing;    // kRingSlots x kFrameSlotSize
  std::unique_ptr<uint8_t[]> pictureRing;  // kRingSlots x kPictureSlotBytes
  std::unique_ptr<uint8_t[]> fullScreenPicture;
  std::size_t fullScreenPictureSize = 0;

  std::atomic<uint8_t> lastFrameKind{0};  // decode thread
  // The frame-ring slot the decode thread reads; the reader's accessors
  // treat it as the current slot.
  std::atomic<uint32_t> readSlotIndex{0};
  std::atomic<uint32_t> ringIndex{0};  // picture-ring slot shown
  std::atomic<uint32_t> soundReadIndex{0};
  std::atomic<int32_t> engineIndex{-1};

  std::atomic<uint16_t> progressPercent{0};
  std::atomic<uint16_t> seekPercent{0};

  // Play-state flags: the first three are the engine's and the window's;
  // atStart is set when a backward search reached entry 0, keyFrameFound
  // when it stopped on a key frame.
  std::atomic<uint32_t> playing{0};
  std::atomic<uint32_t> paused{1};
  std::atomic<uint32_t> endReached{0};
  std::atomic<uint32_t> atStart{1};
  std::atomic<uint32_t> keyFrameFound{0};

  std::atomic<double> speedFactor{1.0};
  std::atomic<uint8_t> speedLevel{kSpeedNormal};
  std::atomic<uint8_t> savedSpeedLevel{kSpeedNormal};
  std::atomic<uint32_t> offSpeed{0};  // 1 while not at normal speed (sound off)
  std::atomic<uint32_t> stepRequest{0};
  // The window's hold logic of the fast buttons while paused.
  std::atomic<uint32_t> holdPending{0};
  std::atomic<uint32_t> timerStepArmed{0};
  std::atomic<int32_t> pendingFastButton{-1};
  std::atomic<uint32_t> snapshotRequest{0};

  // The clock of the JPEG path's waits (the engine's; the system clock
  // when none is set).
  Clock* clock = nullptr;

  // The open recording. Reader thread only while the engine runs.
  File file;

  // Written by the decode thread before a slot is handed on, read by the
  // render thread after it took the slot.
  std::array<PictureRecord, kRingSlots> pictureRecords{};
  // Set by the decode thread on the last picture before a file's final
  // sound frame, whose picture may already be on its way: that picture
  // counts one frame further, so the end is seen on it.
  std::array<std::atomic<uint32_t>, kRingSlots> pictureEndMark{};
  std::array<SoundRecord, kRingSlots> soundRecords{};
  std::array<uint32_t, kRingSlots> soundSizes{};
  // Reserve word of each sound slot; the window reads bit 0 of the block
  // playing as a busy mark.
  std::array<std::atomic<uint32_t>, kRingSlots> soundReserves{};

  Rect screenRect;
  std::array<uint32_t, 3> displayColours{0xDDDD10, 0xFFFFFF, 0x00F2FF};
  uint32_t languageId = 1033;

  // Fixed after open.
  std::string ipText;  // "%d.%d.%d.%d"
  VideoDecoderSlot decoder;
  uint32_t durationSeconds = 0;
  std::string durationText;
  uint32_t ipAddress = 0;
  uint32_t indexCount = 0;
  uint32_t fileMagic = 0;

  // Set by the reader thread before its first read; the QRV reader gives
  // the next frame interval 0 and clears it.
  std::atomic<uint32_t> qrvFirstFrame{0};

  // Frame times (ms) of the sound block playing: written by the sound
  // device's completion, read by picture pacing.
  std::atomic<uint32_t> audioWindowStart{0};
  std::atomic<uint32_t> audioWindowEnd{0};

  // 1: pictures refer only to their key picture and backward stepping works
  // on key-frame ranges; 0: an ordinary chain.
  std::atomic<uint32_t> predictedStreamMode{1};
  // 1: pictures paced by their own intervals; 0: by the sound clock.
  std::atomic<uint32_t> videoPacing{0};
  std::atomic<uint32_t> defaultVideoPacing{0};
  std::atomic<uint32_t> reverse{0};
  std::atomic<uint32_t> singlePicture{0};
  std::atomic<uint32_t> exportRunning{0};

  // While set, frames are hidden until the one whose 1-based number is
  // showFromFrameNumber.
  std::atomic<uint32_t> showFromFrame{0};
  std::atomic<uint32_t> showFromFrameNumber{0};
  std::atomic<uint32_t> audioOnly{0};

  // Record marks of the progress slider (window writes, render thread reads).
  std::atomic<uint32_t> marksComplete{0};
  std::atomic<uint32_t> secondMarkPercent{0};
  std::atomic<uint32_t> secondMarkFrame{0};
};

// Allocates the frame ring and, when withPictures, the picture ring (the
// memory is not touched until used), and clears the records.
void PrepareRings(PlaybackState& state, bool withPictures);

// "Duration : %.2ddays %.2d:%.2d:%.2d  %s X" for a duration in seconds and
// a speed level.
std::string FormatDurationText(uint32_t seconds, uint8_t speedLevel);
// The date and time the on-screen display shows for a picture:
// "%.2d/%.2d/%.2d  %.2d:%.2d:%.2d" of year, month, day, hour, minute,
// second (two blanks between date and time).
std::string FormatPictureTime(const SYSTEMTIME& t);

// "%d.%d.%d.%d" with the lowest byte first.
std::string FormatIpAddress(uint32_t address);

}  // namespace tsv
