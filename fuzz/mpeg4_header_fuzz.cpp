// Header query on arbitrary bytes: must answer 0 with a size that fits the
// packed form, or 3, and never read outside the bytes it is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "media/mpeg4/Mpeg4DecoderEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tsv::Mpeg4StreamBytes stream{data, size};
  uint32_t packed = 0;
  const uint32_t result = tsv::Mpeg4DecoderEntry(1, tsv::kMpeg4HeaderQuery, &stream, &packed, 0, 0, 0);
  if (result == tsv::kMpeg4Ok) {
    const uint32_t width = packed >> 12;
    const uint32_t height = packed & 0xFFF;
    if (width == 0 || height == 0 || width > tsv::kMpeg4MaxPackedDimension) std::abort();
  } else if (result != tsv::kMpeg4Failed) {
    std::abort();
  }
  return 0;
}
