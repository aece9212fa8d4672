// A sound output for 16-bit PCM, mono, 8000 samples per second, that
// queues whole blocks and reports each finished block on its own thread.
// Three kinds: the system's default output (PortAudio), a silent device
// that consumes blocks at the real rate (no sound device, CI), and a
// device that writes what it plays into a WAV file (tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tsv {

class AudioDevice {
 public:
  struct Callbacks {
    // Once per block, in the order written, after it has played (or been
    // discarded by Reset/Close). Runs on the device's own thread.
    std::function<void()> blockDone;
    // Once, when the device closes (after the last blockDone).
    std::function<void()> closed;
  };

  virtual ~AudioDevice() = default;
  virtual bool Open(Callbacks callbacks) = 0;
  // Queues one block; the samples are copied. False when the device is
  // not open or cannot take the block (no blockDone follows then).
  virtual bool Write(const int16_t* samples, std::size_t count) = 0;
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  // Stops at once; every queued block is reported done.
  virtual void Reset() = 0;
  // Reset, then close; `closed` is called. Safe to call twice.
  virtual void Close() = 0;
};

// "auto" (the default output when it can be opened, else silent),
// "device", "null" or "wav:PATH". None for an unknown kind.
std::unique_ptr<AudioDevice> MakeAudioDevice(const std::string& kind);

}  // namespace tsv
