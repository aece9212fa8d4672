#include "cli/FramePicture.h"

#include <cstdlib>

#include "cli/Recording.h"
#include "formats/CVsxFile.h"
#include "formats/Resolution.h"
#include "media/VideoDecoder.h"

namespace tsv::cli {

bool ParseNumber(const std::string& text, uint32_t* out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0' || v > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool DecodeFramePicture(CRecFile& r, uint32_t number, FramePicture* out, std::string* error) {
  PlaybackState& st = r.state();
  if (st.audioOnly) {
    *error = "the recording holds no pictures";
    return false;
  }
  if (number < 1 || number > st.indexCount) {
    *error = "frame " + std::to_string(number) + " is not within 1.." + std::to_string(st.indexCount);
    return false;
  }
  const bool mpeg4 = (st.decoder.kind & 0xFF) == kDecoderMpeg4;
  const bool keyReferenced = st.predictedStreamMode == 1;

  // Decoding starts at the key picture at or before the frame.
  uint32_t first = number - 1;
  while (first > 0 && !r.IsKeyEntry(first)) --first;
  if (first > 0) r.SetFilePointerToPreIFrame(static_cast<int>(first));
  else r.SeekFilePointToBeginFrame();

  out->pixels.reset(new uint8_t[kPictureSlotBytes]);
  uint8_t* picture = out->pixels.get();
  uint8_t decoderCode = 0xFF;
  bool decoded = false;
  uint16_t width = 0, height = 0;
  for (uint32_t k = first; k < number; ++k) {
    const uint32_t slot = k % kRingSlots;
    if (!r.ReadCurrentFrameInfo(slot, k == first ? 0 : st.fileMagic)) {
      *error = "frame " + std::to_string(k + 1) + " cannot be read";
      return false;
    }
    st.readSlotIndex = slot;
    const uint8_t* payload = r.FrameSlot(slot);
    const uint32_t size = r.GetCurrentFrameSize(slot);
    const uint8_t kind = FrameKindOf(r, slot);
    const bool last = k + 1 == number;
    if (kind != kFramePicture) {
      if (last) {
        *error = "frame " + std::to_string(number) + " is not a picture";
        return false;
      }
      continue;
    }
    const uint8_t code = r.GetCurrentFrameResolution(slot, 0, 0, true);
    if (!mpeg4) {
      decoded = r.DoJpegDecode(payload, size, picture, &width, &height);
      continue;
    }
    // In a key-referenced stream only the key picture and the frame itself
    // are needed.
    if (keyReferenced && !last && !r.IsKeyEntry(k)) continue;
    if (code != decoderCode) {
      // The decoder follows the stream's picture size, as the player's
      // decode thread does; codes without a decode size keep the size.
      if (auto size2 = VsxDecodeSize(code); size2 && dynamic_cast<CVsxFile*>(&r)) {
        ReopenMpeg4Decoder(st.decoder, size2->width, size2->height, st.predictedStreamMode);
      }
      decoderCode = code;
    }
    width = st.decoder.width;
    height = st.decoder.height;
    uint32_t pts = 0, w = 0, h = 0, reserved = 0, pictureType = 0;
    r.ParseMp4FramePes(payload, size, &pts, &w, &h, &reserved, &pictureType);
    decoded = r.DoMp4Decode(payload, size, 1, pictureType, &width, &height, picture);
  }
  if (!decoded) {
    *error = "frame " + std::to_string(number) + " cannot be decoded";
    return false;
  }
  // Field pictures are shown line-doubled.
  const uint8_t code = r.GetCurrentFrameResolution((number - 1) % kRingSlots, 0, 0, true);
  if (auto shown = DisplaySize(code); shown && shown->width == width && shown->height == 2 * height) {
    st.layoutIndex = code;
    r.ExpandFieldPicture(shown->width, shown->height, &picture);
    height = shown->height;
  }
  out->width = width;
  out->height = height;
  return true;
}

}  // namespace tsv::cli
