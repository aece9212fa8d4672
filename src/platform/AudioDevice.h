// A sound output for 16-bit PCM, mono, 8000 samples per second, that
// queues whole blocks and reports each finished block on its own thread.
// Three kinds: the system's default output (PortAudio), a silent device
// that consumes blocks at the real rate (no sound device, CI), and a
// device that writes what it plays into a WAV file (tests).
//
// Threads: every method may be called from any thread, but never from
// inside a callback (Reset, Close and Finish wait for the callbacks to
// finish). A callback must not wait for a thread that may be inside Reset,
// Close or Finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tsv {

// Sample rate of every device's input, samples per second.
constexpr uint32_t kAudioDeviceRate = 8000;
// Blocks a device holds at once; Write refuses more.
constexpr int kAudioDeviceQueueBlocks = 3;

class AudioDevice {
 public:
  struct Callbacks {
    // Once per block, in the order written, after it has played (or been
    // discarded by Reset/Close). Runs on the device's own thread; the
    // block has left the device's queue by then.
    std::function<void()> blockDone;
    // Once per Open, when the device closes (after the last blockDone).
    std::function<void()> closed;
  };

  virtual ~AudioDevice() = default;
  // Starts a session; false when the output cannot be opened. A device
  // may be opened again after Close.
  virtual bool Open(Callbacks callbacks) = 0;
  // Queues one block; the samples are copied. False when the device is
  // not open or already holds kAudioDeviceQueueBlocks blocks (no blockDone
  // follows then). An empty block is done as soon as it is reached.
  virtual bool Write(const int16_t* samples, std::size_t count) = 0;
  // Pause holds the block being played where it is; Restart goes on from
  // there. Blocks written while paused wait.
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  // Stops at once; every queued block is reported done before Reset
  // returns. A paused device stays paused.
  virtual void Reset() = 0;
  // Reset, then close; `closed` has been called when Close returns. Safe to
  // call twice, and on a device that never opened.
  virtual void Close() = 0;
  // Ends the device's life after its last session: closes it, and a device
  // that records what it played publishes its file here. False (with a
  // reason) when that fails.
  virtual bool Finish(std::string* error) {
    (void)error;
    Close();
    return true;
  }
};

// "auto" (the default output when it can be opened, else silent),
// "device", "null" or "wav:PATH" (a WAV file of what played, at the real
// rate, written by Finish). None for an unknown kind.
std::unique_ptr<AudioDevice> MakeAudioDevice(const std::string& kind);

}  // namespace tsv
