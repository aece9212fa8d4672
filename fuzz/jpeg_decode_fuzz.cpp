// JPEG decode of arbitrary bytes into one picture slot: succeeds with a
// picture that fits the slot, or fails; never crashes, hangs or writes past
// the slot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/jpeg/JpegPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One buffer for the whole run, as the picture ring has.
  static std::vector<uint8_t> slot(tsv::kPictureSlotSize);
  uint16_t width = 0;
  uint16_t height = 0;
  if (tsv::DecodeJpegPicture(data, size, slot.data(), slot.size(), 0, 0, &width, &height)) {
    if (width == 0 || height == 0 || static_cast<size_t>(width) * height * 3 > slot.size()) std::abort();
  }
  return 0;
}
