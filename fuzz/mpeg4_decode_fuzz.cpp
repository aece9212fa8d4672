// MPEG-4 decode of arbitrary payloads through the decoder a reader uses:
// each picture decodes or fails; nothing crashes, hangs or writes past the
// configured picture in its slot.
//
// Input: the first byte's low bit is the reference rule (0 chain, 1
// key-referenced); the rest is one or more payloads separated by the four
// bytes F0 0D F0 0D, decoded in order. Every input starts from a freshly
// configured decoder, so a result never depends on the inputs before it.
// Good seeds are picture payloads of synthesized recordings (a key picture,
// then predicted pictures), joined that way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/VideoDecoder.h"

namespace {

constexpr uint16_t kWidth = 352;
constexpr uint16_t kHeight = 240;
constexpr std::size_t kPictureBytes = std::size_t{kWidth} * kHeight * 3;
constexpr std::size_t kSlotBytes = 1572864;  // one picture-ring slot
constexpr uint8_t kCanary = 0xC5;
constexpr uint8_t kSeparator[] = {0xF0, 0x0D, 0xF0, 0x0D};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static tsv::VideoDecoderSlot slot;
  static const bool created = tsv::CreateMpeg4Decoder(slot);
  static std::vector<uint8_t> picture(kSlotBytes, kCanary);
  static const std::vector<uint8_t> canary(kSlotBytes - kPictureBytes, kCanary);
  if (!created) std::abort();
  if (!tsv::ReopenMpeg4Decoder(slot, kWidth, kHeight, data[0] & 1)) std::abort();

  const uint8_t* at = data + 1;
  const uint8_t* end = data + size;
  while (at <= end) {
    const uint8_t* next = std::search(at, end, std::begin(kSeparator), std::end(kSeparator));
    tsv::DecodeMpeg4Picture(slot, at, static_cast<std::size_t>(next - at), 1, 0, kWidth, kHeight, picture.data(),
                            picture.size());
    if (next == end) break;
    at = next + sizeof kSeparator;
  }
  // Only the configured picture may have been written.
  if (std::memcmp(picture.data() + kPictureBytes, canary.data(), canary.size()) != 0) std::abort();
  return 0;
}
