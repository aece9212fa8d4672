#include "platform/WavAudioDevice.h"

#include <cstring>
#include <utility>

#include "platform/ByteIO.h"
#include "platform/OutputFile.h"

namespace tsv {

namespace {

constexpr std::size_t kWavHeadBytes = 44;

}  // namespace

std::vector<uint8_t> WavFileBytes(const std::vector<int16_t>& samples) {
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out(kWavHeadBytes + dataBytes);
  uint8_t* h = out.data();
  std::memcpy(h, "RIFF", 4);
  PutU32LE(h + 4, static_cast<uint32_t>(kWavHeadBytes - 8) + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutU32LE(h + 16, 16);  // size of the format record
  PutU16LE(h + 20, 1);   // PCM
  PutU16LE(h + 22, 1);   // mono
  PutU32LE(h + 24, kAudioDeviceRate);
  PutU32LE(h + 28, kAudioDeviceRate * 2);  // bytes per second
  PutU16LE(h + 32, 2);                     // bytes per sample frame
  PutU16LE(h + 34, 16);                    // bits per sample
  std::memcpy(h + 36, "data", 4);
  PutU32LE(h + 40, dataBytes);
  for (std::size_t i = 0; i < samples.size(); ++i)
    PutU16LE(h + kWavHeadBytes + 2 * i, static_cast<uint16_t>(samples[i]));
  return out;
}

WavAudioDevice::WavAudioDevice(std::string path, Pace pace) : SilentAudioDevice(pace), path_(std::move(path)) {}

// The clock thread calls BlockPlayed; it must be stopped while this object
// is still whole.
WavAudioDevice::~WavAudioDevice() { Close(); }

void WavAudioDevice::BlockPlayed(const std::vector<int16_t>& samples) {
  played_.insert(played_.end(), samples.begin(), samples.end());
}

bool WavAudioDevice::Finish(std::string* error) {
  Close();
  if (finished_) return true;
  finished_ = true;
  const std::vector<uint8_t> bytes = WavFileBytes(played_);
  OutputFile out;
  std::string reason;
  if (!out.Create(path_, &reason) || !out.Write(bytes.data(), bytes.size()) || !out.Commit(&reason)) {
    if (error) *error = reason.empty() ? "cannot write " + path_ : reason;
    return false;
  }
  return true;
}

}  // namespace tsv
