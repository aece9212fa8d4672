#include "media/VideoDecoder.h"

#include <cstring>
#include <new>

#include "media/mpeg4/Mpeg4Decoder.h"

namespace tsv {

void DestroyMpeg4DecoderHandle(Mpeg4DecoderHandle* handle) {
  if (!handle) return;
  if (handle->open) mpeg4::Release(&handle->params);
  delete handle;
}

bool CreateMpeg4Decoder(VideoDecoderSlot& slot) {
  if (slot.mpeg4) return true;
  std::unique_ptr<Mpeg4DecoderHandle, Mpeg4DecoderHandleDeleter> handle(new (std::nothrow) Mpeg4DecoderHandle);
  if (!handle) return false;
  uint32_t sizes[kMpeg4WorkAreaCount];
  if (Mpeg4DecoderEntry(1, kMpeg4SizeQuery, &handle->params, sizes, kMpeg4MaxWidth, kMpeg4MaxHeight, 0) !=
      kMpeg4Ok)
    return false;
  for (int i = 0; i < kMpeg4WorkAreaCount; ++i) {
    handle->areas[i].reset(new (std::nothrow) uint8_t[sizes[i]]());
    if (!handle->areas[i]) return false;
    handle->allocatedSizes[i] = sizes[i];
    handle->params.workAreas[i] = handle->areas[i].get();
  }
  slot.mpeg4 = std::move(handle);
  return true;
}

bool ReopenMpeg4Decoder(VideoDecoderSlot& slot, uint16_t width, uint16_t height, uint32_t mode) {
  Mpeg4DecoderHandle* h = slot.mpeg4.get();
  if (!h) return false;
  if (h->open) mpeg4::Release(&h->params);
  h->open = false;
  h->decodedCount = 0;
  h->width = width;
  h->height = height;
  if (width > kMpeg4MaxWidth || height > kMpeg4MaxHeight) return false;
  uint32_t sizes[kMpeg4WorkAreaCount];
  if (Mpeg4DecoderEntry(1, kMpeg4SizeQuery, &h->params, sizes, width, height, 0) != kMpeg4Ok) return false;
  // The areas were allocated for the largest size; the sizes describe the
  // whole allocation so the decoder may use all of it.
  for (int i = 0; i < kMpeg4WorkAreaCount; ++i) h->params.workAreaSizes[i] = h->allocatedSizes[i];
  for (int i = 3; i < kMpeg4WorkAreaCount; ++i) std::memset(h->areas[i].get(), 0, h->allocatedSizes[i]);
  if (Mpeg4DecoderEntry(1, kMpeg4Initialise, &h->params, nullptr, width, height, mode) != kMpeg4Ok) return false;
  h->open = true;
  h->narrow = width != kMpeg4MaxWidth;
  h->input.one = 1;
  h->input.rowWidth = width;
  slot.width = width;
  slot.height = height;
  slot.predictedStreamMode = mode;
  return true;
}

bool DecodeMpeg4Picture(VideoDecoderSlot& slot, const uint8_t* payload, std::size_t length, uint32_t, uint32_t,
                        uint16_t, uint16_t, uint8_t* picture, std::size_t capacity) {
  Mpeg4DecoderHandle* h = slot.mpeg4.get();
  if (!h || !h->open || !payload || !picture) return false;
  if (static_cast<std::size_t>(h->width) * h->height * 3 > capacity || length > 0xFFFFFFFFu) return false;
  ++h->decodedCount;
  // Decoded straight into the picture slot: the picture is written once.
  h->input.output = picture;
  h->input.payload = payload;
  h->input.length = static_cast<uint32_t>(length);
  return Mpeg4DecoderEntry(1, kMpeg4DecodePicture, &h->input, &h->params, h->width, h->height, 0) == kMpeg4Ok;
}

void DestroyMpeg4Decoder(VideoDecoderSlot& slot) { slot.mpeg4.reset(); }

}  // namespace tsv
