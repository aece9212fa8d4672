// The playback pipeline of one open recording: four threads joined by three
// rings of 50 slots. ReaderThread reads frames into the frame ring,
// DecodeThread decodes pictures into the picture ring and sound into the
// sound ring, RenderThread paces and draws pictures, AudioThread hands
// sound blocks to the sound device. Every change of position, direction or
// mode stops the four threads and starts fresh ones; pause and single
// steps are the only changes made while they run.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/EngineSinks.h"
#include "formats/CRecFile.h"
#include "platform/Clock.h"
#include "platform/Event.h"

namespace tsv {

struct WaveOutput;

// Permits of a ring: one slot less than it has, so the producer never
// writes the slot the consumer holds.
constexpr int kRingPermits = 49;

class PlaybackEngine {
 public:
  PlaybackEngine(PictureSink& pictures, EventSink& events, Clock& clock = SystemClock());
  ~PlaybackEngine();
  PlaybackEngine(const PlaybackEngine&) = delete;
  PlaybackEngine& operator=(const PlaybackEngine&) = delete;

  // The sound device kind of MakeAudioDevice ("auto", "device", "null",
  // "wav:PATH"); set before PrepareFileBuffers.
  void SetAudioDevice(const std::string& kind) { audioKind_ = kind; }

  // Per-file set-up, before the reader's open step: output folder, display
  // colours, records, rings, sound buffers and the MPEG-4 decoder.
  bool PrepareFileBuffers(CRecFile& reader);
  void ReleaseFileBuffers();

  bool CreateEngineObjects();
  // Starts the four threads; false for a decoder kind other than JPEG or
  // MPEG-4, or when objects are missing.
  bool StartEngine();
  // Stops and joins the threads. In single-picture mode the threads end
  // by themselves after one picture; a preview that cannot show one is
  // stopped after a bound.
  bool StopEngine();
  bool CloseEngineObjects();

  Event* abortEvent() { return abort_.get(); }
  Event* runEvent() { return run_.get(); }
  WaveOutput* waveOutput() { return wave_.get(); }
  CRecFile* reader() { return reader_; }
  bool running() const { return threadsStarted_; }

  // Set by the window while it shows a seek preview: the engine draws one
  // picture at the new position and stops by itself.
  std::atomic<uint32_t> singlePicture{0};
  // Set while the window is full screen (no layout change messages).
  std::atomic<uint32_t> fullScreen{0};

  // Sound blocks the device has finished, since the engine object exists.
  std::atomic<uint64_t> soundBlocksPlayed{0};

  // Held while a thread tells the slider its position, and by the window
  // while it replaces the slider.
  std::mutex sliderLock;

 private:
  void ReaderThreadMpeg4();
  void ReaderThreadJpeg();
  void DecodeThreadMpeg4();
  void DecodeThreadJpeg();
  void RenderThread();
  void AudioThread();
  // The sound device's report of a finished block: moves the audio window.
  void OnSoundBlockDone();

  // Decode-thread helpers shared by both variants.
  enum class FrameResult { Queued, Dropped, NotDecoded, EndOfFile };
  void DecodeThreadStart();
  // Hands the frame slot back and acts on the result; false when the
  // thread ends.
  bool DecodeThreadFinish(uint32_t slot, uint32_t size, FrameResult result);
  FrameResult DecodeSoundFrame(uint32_t slot, uint32_t time, bool mpeg4);
  FrameResult SkipSoundFrame(uint32_t slot);
  void ReportProgress(uint16_t percent);
  // The file's last frame is sound: its last picture marks the end.
  void EndOnLastPicture();

  PictureSink& pictures_;
  EventSink& events_;
  Clock& clock_;
  std::string audioKind_ = "auto";
  CRecFile* reader_ = nullptr;
  PlaybackState* state_ = nullptr;

  SyncDomain sync_;
  std::unique_ptr<Semaphore> frameFree_, frameFilled_, pictureFree_, pictureFilled_, soundFree_, soundFilled_;
  std::unique_ptr<Event> abort_, run_, preroll_;
  std::thread reader_thread_, decode_thread_, render_thread_, audio_thread_;
  bool threadsStarted_ = false;

  std::unique_ptr<WaveOutput> wave_;
  std::unique_ptr<uint8_t[]> soundRing_;  // kRingSlots x kSoundSlotSize, 16-bit PCM
  // Decode thread: the picture slot it writes, and the sound slot.
  uint32_t pictureWrite_ = 0;
  uint32_t soundWrite_ = 0;
  // Sound device thread: the next sound record it completes.
  uint32_t completionIndex_ = 0;
};

}  // namespace tsv
