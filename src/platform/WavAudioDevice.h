// A device that keeps every block it plays, in order, across all its
// sessions, and writes them as one WAV file (16-bit PCM, mono, 8000
// samples per second) when it is finished. Blocks discarded by Reset or
// Close are not kept. It plays at the real rate like the silent device,
// or instantly for tests that only look at the sound.
#pragma once

#include <string>
#include <vector>

#include "platform/SilentAudioDevice.h"

namespace tsv {

class WavAudioDevice : public SilentAudioDevice {
 public:
  explicit WavAudioDevice(std::string path, Pace pace = Pace::RealRate);
  ~WavAudioDevice() override;

  // Closes the device and publishes the file; never replaces an existing
  // file. A second call does nothing and returns true.
  bool Finish(std::string* error) override;

 protected:
  void BlockPlayed(const std::vector<int16_t>& samples) override;

 private:
  const std::string path_;
  // Clock thread appends while a session runs; Finish reads after Close.
  std::vector<int16_t> played_;
  bool finished_ = false;
};

// The bytes of a WAV file holding the samples at the devices' rate.
std::vector<uint8_t> WavFileBytes(const std::vector<int16_t>& samples);

}  // namespace tsv
