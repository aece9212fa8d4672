#include "media/WavFile.h"

#include <cstring>

#include "platform/ByteIO.h"

namespace tsv {

std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out(44 + dataBytes);
  uint8_t* h = out.data();
  std::memcpy(h, "RIFF", 4);
  PutU32LE(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutU32LE(h + 16, 16);
  PutU16LE(h + 20, 1);  // PCM
  PutU16LE(h + 22, 1);  // mono
  PutU32LE(h + 24, sampleRate);
  PutU32LE(h + 28, sampleRate * 2);
  PutU16LE(h + 32, 2);
  PutU16LE(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  PutU32LE(h + 40, dataBytes);
  for (std::size_t i = 0; i < samples.size(); ++i) PutU16LE(h + 44 + 2 * i, static_cast<uint16_t>(samples[i]));
  return out;
}

}  // namespace tsv
