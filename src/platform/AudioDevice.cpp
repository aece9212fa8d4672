#include "platform/AudioDevice.h"

#include "platform/PortAudioDevice.h"
#include "platform/SilentAudioDevice.h"
#include "platform/WavAudioDevice.h"

namespace tsv {

std::unique_ptr<AudioDevice> MakeAudioDevice(const std::string& kind) {
  if (kind == "auto") {
    if (PortAudioDevice::DefaultOutputOpens()) return std::make_unique<PortAudioDevice>();
    return std::make_unique<SilentAudioDevice>();
  }
  if (kind == "device") return std::make_unique<PortAudioDevice>();
  if (kind == "null") return std::make_unique<SilentAudioDevice>();
  const std::string wavPrefix = "wav:";
  if (kind.size() > wavPrefix.size() && kind.compare(0, wavPrefix.size(), wavPrefix) == 0)
    return std::make_unique<WavAudioDevice>(kind.substr(wavPrefix.size()));
  return nullptr;
}

}  // namespace tsv
