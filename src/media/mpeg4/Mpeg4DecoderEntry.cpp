// The entry point of the MPEG-4 decoder: one function, dispatched by control
// code. The queries are answered here; set-up, output selection and
// decoding are the decoder proper (Mpeg4Decoder.cpp).
#include "media/mpeg4/Mpeg4DecoderEntry.h"

#include "media/mpeg4/Mpeg4Decoder.h"

#include <limits>

namespace tsv {

namespace {

// Work areas four to six have fixed sizes, in bytes.
constexpr uint64_t kContextSize = 710484;    // decoder context
constexpr uint64_t kTableAreaSize = 11332;   // table area
constexpr uint64_t kReaderStateSize = 2216;  // bit-stream reader state

// Samples added to each dimension of every reference plane, luma and
// chroma alike: the border that motion vectors may point into.
constexpr uint64_t kPlanePadding = 64;

uint32_t SizeQuery(void* recordA, void* recordB, uint16_t width, uint16_t height) {
  auto* sizes = static_cast<uint32_t*>(recordB);
  if (sizes == nullptr) return kMpeg4Failed;
  uint32_t computed[kMpeg4WorkAreaCount];
  if (!Mpeg4WorkAreaSizes(width, height, computed)) return kMpeg4Failed;
  if (auto* params = static_cast<Mpeg4DecoderParams*>(recordA)) {
    params->width = width;
    params->height = height;
    for (int i = 0; i < kMpeg4WorkAreaCount; ++i) params->workAreaSizes[i] = computed[i];
  }
  for (int i = 0; i < kMpeg4WorkAreaCount; ++i) sizes[i] = computed[i];
  return kMpeg4Ok;
}

uint32_t HeaderQuery(const void* recordA, void* recordB) {
  const auto* stream = static_cast<const Mpeg4StreamBytes*>(recordA);
  auto* out = static_cast<uint32_t*>(recordB);
  if (stream == nullptr || out == nullptr) return kMpeg4Failed;
  uint32_t width = 0;
  uint32_t height = 0;
  if (!ParseVideoObjectLayerSize(stream->data, stream->length, &width, &height)) return kMpeg4Failed;
  // The 13-bit header fields can exceed what 12 bits of the packed answer
  // carry; a truncated size would be silently wrong, so refuse it.
  if (width > kMpeg4MaxPackedDimension || height > kMpeg4MaxPackedDimension) return kMpeg4Failed;
  *out = (width << 12) | height;
  return kMpeg4Ok;
}

}  // namespace

bool Mpeg4WorkAreaSizes(uint32_t width, uint32_t height, uint32_t sizes[kMpeg4WorkAreaCount]) {
  const uint64_t w = width;
  const uint64_t h = height;
  const uint64_t luma = (w + kPlanePadding) * (h + kPlanePadding);
  const uint64_t chroma = (w / 2 + kPlanePadding) * (h / 2 + kPlanePadding);
  const uint64_t reference = luma + 2 * chroma;
  const uint64_t scratch = w * h + 2 * ((w * h) / 2);
  const uint64_t wide[kMpeg4WorkAreaCount] = {reference, reference, scratch, kContextSize, kTableAreaSize,
                                              kReaderStateSize};
  for (uint64_t size : wide) {
    if (size > std::numeric_limits<uint32_t>::max()) return false;
  }
  for (int i = 0; i < kMpeg4WorkAreaCount; ++i) sizes[i] = static_cast<uint32_t>(wide[i]);
  return true;
}

uint32_t Mpeg4DecoderEntry(uint32_t enable, uint32_t code, void* recordA, void* recordB, uint16_t width,
                           uint16_t height, uint32_t extra) {
  if (enable == 0) return kMpeg4Disabled;
  switch (code) {
    case kMpeg4SizeQuery:
      return SizeQuery(recordA, recordB, width, height);
    case kMpeg4HeaderQuery:
      return HeaderQuery(recordA, recordB);
    case kMpeg4NoOp1:
    case kMpeg4NoOp2:
      return kMpeg4Ok;
    case kMpeg4Initialise:
      return mpeg4::Initialise(static_cast<Mpeg4DecoderParams*>(recordA), width, height, extra);
    case kMpeg4SelectOutput:
      return mpeg4::SelectOutput(static_cast<Mpeg4DecoderParams*>(recordA));
    default:  // kMpeg4DecodePicture and every unlisted code: decode one picture
      return mpeg4::Decode(static_cast<const Mpeg4DecodeInput*>(recordA), static_cast<Mpeg4DecoderParams*>(recordB));
  }
}

}  // namespace tsv
