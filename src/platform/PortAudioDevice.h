// The system's default sound output through PortAudio. Blocks wait in a
// small queue that the real-time callback consumes; the callback never
// blocks (it only tries the queue's lock, and plays silence for one buffer
// when that fails) and hands finished blocks to the notifier thread
// without locking. When the output refuses 8000 samples per second mono,
// the device opens at the output's own rate (and in stereo if it must) and
// resamples linearly.
#pragma once

#include <portaudio.h>

#include <atomic>
#include <mutex>

#include "platform/AudioDevice.h"
#include "platform/BlockDoneNotifier.h"
#include "platform/SoundBlockQueue.h"

namespace tsv {

class PortAudioDevice : public AudioDevice {
 public:
  PortAudioDevice();
  ~PortAudioDevice() override;

  // True when the default output exists and a stream in one of the
  // device's formats opens on it (it is closed again at once).
  static bool DefaultOutputOpens();

  bool Open(Callbacks callbacks) override;
  bool Write(const int16_t* samples, std::size_t count) override;
  void Pause() override;
  void Restart() override;
  void Reset() override;
  void Close() override;

 private:
  static int StreamCallback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* time,
                            PaStreamCallbackFlags flags, void* self);
  // Real-time thread: fills `frames` output frames.
  void Fill(int16_t* out, unsigned long frames);

  // Written by Open and Close (under sessionLock_); the callback reads
  // channels_, which is fixed while the stream runs.
  std::mutex sessionLock_;
  PaStream* stream_ = nullptr;
  int channels_ = 1;

  // Written by Pause and Restart, read by the callback.
  std::atomic<bool> paused_{false};

  // Guarded by queueLock_: the callers' threads lock it, the callback only
  // tries it.
  std::mutex queueLock_;
  bool open_ = false;
  SoundBlockQueue queue_;

  BlockDoneNotifier notifier_;
};

}  // namespace tsv
