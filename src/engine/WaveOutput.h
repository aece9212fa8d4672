// The sound output of one open recording: fifty block buffers, the device
// that plays them, and the block semaphore that keeps at most three blocks
// queued in the device. The audio thread opens it, plays the sound ring's
// blocks through it and closes it; the window pauses, restarts, resets
// and may close it while the threads run.
//
// Every finished block (played, or discarded by a reset or close) runs the
// owner's completion on the device's thread and then gives one permit back
// to the block semaphore and to sound-free; a device close gives each 49,
// so no engine thread stays blocked on either. A block the device does not
// take gives both permits back at once, with no completion.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/ImaAdpcm.h"
#include "platform/AudioDevice.h"
#include "platform/Event.h"

namespace tsv {

constexpr int kWaveHeaderCount = 50;
// Bytes of one block buffer: 4096 samples, 512 ms of sound.
constexpr std::size_t kWaveBlockBytes = 8192;
// Permits a device close gives to the block semaphore and to sound-free:
// as many as the sound ring has, so every waiter on either wakes.
constexpr int kWaveCloseRelease = 49;

// Fixed: PCM, mono, 8000 samples per second, 16 bits.
struct WaveFormat {
  uint16_t formatTag = 1;
  uint16_t channels = 1;
  uint32_t samplesPerSecond = kAudioDeviceRate;
  uint32_t bytesPerSecond = kAudioDeviceRate * 2;
  uint16_t blockAlign = 2;
  uint16_t bitsPerSample = 16;
  uint16_t extraBytes = 0;
};

struct WaveHeader {
  std::unique_ptr<int16_t[]> data;  // kWaveBlockBytes: this header's own copy of a block
  uint32_t bufferLength = 0;        // bytes of data to play
  uint32_t flags = 0;
  uint32_t loops = 0;
};

struct WaveOutput {
  WaveOutput() = default;
  // Closes the device first: its last callbacks still use blockPermits.
  ~WaveOutput();
  WaveOutput(const WaveOutput&) = delete;
  WaveOutput& operator=(const WaveOutput&) = delete;

  WaveFormat format;

  // Allocated once per file by PrepareWaveBuffers. PlayBlock (audio thread)
  // fills header h; the device keeps its own copy of what it queues.
  std::array<WaveHeader, kWaveHeaderCount> headers;
  // The ADPCM decoder's state: decode thread only.
  AdpcmDecoderState decoderState;

  // Set by OpenWaveOutput on the audio thread and read by PlayBlock on the
  // same thread. The block semaphore is made at the first open and lives
  // until ReleaseWaveBuffers, so a thread woken by a close never touches a
  // freed semaphore.
  std::unique_ptr<Semaphore> blockPermits;  // count 3, maximum 3
  SyncDomain* permitsDomain = nullptr;      // the domain blockPermits lives in
  Event* abortEvent = nullptr;              // waited on together with blockPermits
  Semaphore* soundFree = nullptr;
  std::function<void()> owner;  // the engine's completion of one block

  // Guarded by deviceLock. The device object is made at the first open of
  // the file and kept across opens (a WAV device collects every session);
  // deviceOpen is the open handle. Device calls are made outside the lock,
  // so a window call never waits for a completion in progress.
  std::mutex deviceLock;
  std::shared_ptr<AudioDevice> device;
  std::string deviceKind;  // the kind `device` was made for; empty for a device handed in
  bool deviceOpen = false;
  // Held through a device close, so that every CloseWaveOutput returns
  // only after the device's last callback has ended.
  std::mutex closeLock;
};

// Allocates the 50 block buffers, zero-filled. True.
bool PrepareWaveBuffers(WaveOutput& wave);
// Closes the device and finishes it (a WAV device writes its file here),
// then frees the buffers and the block semaphore. Only when no engine
// thread runs. False, with a reason, when finishing the device failed.
bool ReleaseWaveBuffers(WaveOutput& wave, std::string* error = nullptr);

// Fills the block semaphore (3, 3), made in the abort event's domain which
// soundFree must share, remembers the wait pair and the owner's
// completion, and opens the device: the one made for deviceKind (see
// MakeAudioDevice) at an earlier open when the kind is the same, else a new
// one. An "auto" device that no longer opens (the sound card went away) is
// replaced by the silent one. False when no device opened; PlayBlock then
// refuses every block. Only on the thread that calls PlayBlock, while it
// does not wait in it. onBlockDone runs on the device's thread and must
// not call any of these functions.
bool OpenWaveOutput(WaveOutput& wave, const std::string& deviceKind, Event& abortEvent, Semaphore& soundFree,
                    std::function<void()> onBlockDone);
// The same with a device the caller made (kept until ReleaseWaveBuffers).
bool OpenWaveOutput(WaveOutput& wave, std::shared_ptr<AudioDevice> device, Event& abortEvent, Semaphore& soundFree,
                    std::function<void()> onBlockDone);

// Waits for the abort event (false) or a block permit, copies byteCount
// bytes of 16-bit samples (at most kWaveBlockBytes) from the sound slot
// into header h's buffer and queues them in the device. A block that
// cannot be queued (no open device, h outside 0..49, buffers not
// prepared) gives its permit and its sound slot back and returns false.
bool PlayBlock(WaveOutput& wave, int h, const uint8_t* soundSlot, std::size_t byteCount);

// Resets and closes the device: queued blocks are reported done, then the
// close gives 49 permits to both semaphores. Safe when closed. True.
bool CloseWaveOutput(WaveOutput& wave);
// Pause, restart and reset act only while the device is open.
void PauseWaveOutput(WaveOutput& wave);
void RestartWaveOutput(WaveOutput& wave);
// Discards the queued blocks; each is reported done before it returns.
void ResetWaveOutput(WaveOutput& wave);

}  // namespace tsv
