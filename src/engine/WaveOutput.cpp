#include "engine/WaveOutput.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tsv {

namespace {

// The open device, or none; the caller uses it outside the lock.
std::shared_ptr<AudioDevice> OpenDevice(WaveOutput& wave) {
  std::lock_guard lock(wave.deviceLock);
  return wave.deviceOpen ? wave.device : nullptr;
}

// A block that was not queued: nothing will complete it, so its permit and
// its sound slot come back now.
bool GiveBlockBack(WaveOutput& wave) {
  wave.blockPermits->Release(1);
  wave.soundFree->Release(1);
  return false;
}

// Opens `device` as the wave output's device; `kind` is what it was made
// for (empty when handed in).
bool OpenAs(WaveOutput& wave, std::shared_ptr<AudioDevice> device, const std::string& kind, Event& abortEvent,
            Semaphore& soundFree, std::function<void()> onBlockDone) {
  CloseWaveOutput(wave);
  SyncDomain& domain = abortEvent.domain();
  if (!wave.blockPermits || wave.permitsDomain != &domain) {
    wave.blockPermits = std::make_unique<Semaphore>(kAudioDeviceQueueBlocks, kAudioDeviceQueueBlocks, domain);
    wave.permitsDomain = &domain;
  }
  // Full again: the permits of the last session may still be out.
  wave.blockPermits->Release(kAudioDeviceQueueBlocks);
  wave.abortEvent = &abortEvent;
  wave.soundFree = &soundFree;
  wave.owner = std::move(onBlockDone);

  // The callbacks hold their own copies: they never read the WaveOutput.
  Semaphore* permits = wave.blockPermits.get();
  Semaphore* slots = &soundFree;
  AudioDevice::Callbacks callbacks;
  callbacks.blockDone = [permits, slots, owner = wave.owner] {
    if (owner) owner();
    permits->Release(1);
    slots->Release(1);
  };
  callbacks.closed = [permits, slots] {
    permits->Release(kWaveCloseRelease);
    slots->Release(kWaveCloseRelease);
  };

  std::shared_ptr<AudioDevice> replaced;
  bool opened = false;
  {
    std::lock_guard lock(wave.deviceLock);
    if (device != wave.device) replaced = std::exchange(wave.device, device);
    wave.deviceKind = kind;
    opened = device && device->Open(std::move(callbacks));
    wave.deviceOpen = opened;
  }
  // A device of another kind within one file: what it recorded is still
  // published, though nobody is left to hear of a failure.
  if (replaced) replaced->Finish(nullptr);
  return opened;
}

}  // namespace

WaveOutput::~WaveOutput() { CloseWaveOutput(*this); }

bool PrepareWaveBuffers(WaveOutput& wave) {
  for (WaveHeader& header : wave.headers) {
    if (!header.data) header.data.reset(new int16_t[kWaveBlockBytes / 2]());
    header.bufferLength = kWaveBlockBytes;
    header.flags = 0;
    header.loops = 0;
  }
  return true;
}

bool ReleaseWaveBuffers(WaveOutput& wave, std::string* error) {
  CloseWaveOutput(wave);
  std::shared_ptr<AudioDevice> device;
  {
    std::lock_guard lock(wave.deviceLock);
    device = std::move(wave.device);
    wave.deviceKind.clear();
  }
  const bool finished = !device || device->Finish(error);
  for (WaveHeader& header : wave.headers) header = WaveHeader{};
  wave.blockPermits.reset();
  wave.permitsDomain = nullptr;
  wave.abortEvent = nullptr;
  wave.soundFree = nullptr;
  wave.owner = nullptr;
  return finished;
}

bool OpenWaveOutput(WaveOutput& wave, const std::string& deviceKind, Event& abortEvent, Semaphore& soundFree,
                    std::function<void()> onBlockDone) {
  std::shared_ptr<AudioDevice> device;
  {
    std::lock_guard lock(wave.deviceLock);
    if (wave.device && wave.deviceKind == deviceKind) device = wave.device;
  }
  if (!device) device = MakeAudioDevice(deviceKind);
  if (OpenAs(wave, device, deviceKind, abortEvent, soundFree, onBlockDone)) return true;
  if (deviceKind != "auto") return false;
  return OpenAs(wave, MakeAudioDevice("null"), deviceKind, abortEvent, soundFree, std::move(onBlockDone));
}

bool OpenWaveOutput(WaveOutput& wave, std::shared_ptr<AudioDevice> device, Event& abortEvent, Semaphore& soundFree,
                    std::function<void()> onBlockDone) {
  return OpenAs(wave, std::move(device), "", abortEvent, soundFree, std::move(onBlockDone));
}

bool PlayBlock(WaveOutput& wave, int h, const uint8_t* soundSlot, std::size_t byteCount) {
  if (!wave.blockPermits || !wave.abortEvent || !wave.soundFree) return false;
  if (!WaitAbortOr(*wave.abortEvent, *wave.blockPermits)) return false;
  if (h < 0 || h >= kWaveHeaderCount || !wave.headers[h].data || (!soundSlot && byteCount > 0))
    return GiveBlockBack(wave);
  WaveHeader& header = wave.headers[h];
  const std::size_t bytes = std::min(byteCount, kWaveBlockBytes) & ~std::size_t{1};
  if (bytes > 0) std::memcpy(header.data.get(), soundSlot, bytes);
  header.bufferLength = static_cast<uint32_t>(bytes);
  header.flags = 0;
  header.loops = 0;
  const std::shared_ptr<AudioDevice> device = OpenDevice(wave);
  if (!device || !device->Write(header.data.get(), bytes / 2)) return GiveBlockBack(wave);
  return true;
}

bool CloseWaveOutput(WaveOutput& wave) {
  std::lock_guard closing(wave.closeLock);
  std::shared_ptr<AudioDevice> device;
  {
    std::lock_guard lock(wave.deviceLock);
    if (!wave.deviceOpen) return true;
    wave.deviceOpen = false;
    device = wave.device;
  }
  device->Close();
  return true;
}

void PauseWaveOutput(WaveOutput& wave) {
  if (const auto device = OpenDevice(wave)) device->Pause();
}

void RestartWaveOutput(WaveOutput& wave) {
  if (const auto device = OpenDevice(wave)) device->Restart();
}

void ResetWaveOutput(WaveOutput& wave) {
  if (const auto device = OpenDevice(wave)) device->Reset();
}

}  // namespace tsv
