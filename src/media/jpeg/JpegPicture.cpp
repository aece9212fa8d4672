// JPEG decode and encode through TurboJPEG. TurboJPEG writes the rows
// bottom-up itself, so a decoded picture lands in its slot in the player's
// row order without a second pass.
#include "media/jpeg/JpegPicture.h"

#include <turbojpeg.h>

#include <limits>

namespace tsv {

namespace {

constexpr int kBytesPerPixel = 3;  // blue, green, red

// Decode flags: bottom row first; stop at the first corrupt-data warning
// (the picture is dropped anyway, so decoding the rest is wasted time);
// refuse progressive streams with absurd scan counts (a fuzzed or hostile
// file could otherwise keep the decoder busy for minutes).
constexpr int kDecodeFlags = TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;

// Owns a TurboJPEG handle, so every path out of a call releases it.
class TjHandle {
 public:
  explicit TjHandle(tjhandle handle) : handle_(handle) {}
  ~TjHandle() {
    if (handle_ != nullptr) tjDestroy(handle_);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle get() const { return handle_; }

 private:
  tjhandle handle_;
};

}  // namespace

std::size_t FindJpegStart(const uint8_t* data, std::size_t length, std::size_t from) {
  if (data == nullptr) return length;
  // The marker is FF D8 followed by the FF that opens the next marker.
  for (std::size_t i = from; i < length && length - i >= 3; ++i) {
    if (data[i] == 0xFF && data[i + 1] == 0xD8 && data[i + 2] == 0xFF) return i;
  }
  return length;
}

bool DecodeJpegPicture(const uint8_t* payload, std::size_t length, uint8_t* picture, std::size_t capacity,
                       uint16_t expectWidth, uint16_t expectHeight, uint16_t* width, uint16_t* height) {
  if (payload == nullptr || picture == nullptr) return false;
  const std::size_t start = FindJpegStart(payload, length);
  if (start == length) return false;
  const uint8_t* jpeg = payload + start;
  const std::size_t jpegLength = length - start;
  if (jpegLength > std::numeric_limits<unsigned long>::max()) return false;

  TjHandle decoder(tjInitDecompress());
  if (decoder.get() == nullptr) return false;
  int w = 0;
  int h = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(decoder.get(), jpeg, static_cast<unsigned long>(jpegLength), &w, &h, &subsampling,
                          &colourspace) != 0) {
    return false;
  }
  // JPEG frame sizes are 16-bit, but the header call reports ints; keep
  // the checks honest for any value it could hand back.
  constexpr int kMaxSide = std::numeric_limits<uint16_t>::max();
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
  if (expectWidth != 0 && w != expectWidth) return false;
  if (expectHeight != 0 && h != expectHeight) return false;
  const uint64_t needed = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * kBytesPerPixel;
  if (needed > capacity) return false;

  if (tjDecompress2(decoder.get(), jpeg, static_cast<unsigned long>(jpegLength), picture, w, w * kBytesPerPixel,
                    h, TJPF_BGR, kDecodeFlags) != 0) {
    return false;
  }
  if (width != nullptr) *width = static_cast<uint16_t>(w);
  if (height != nullptr) *height = static_cast<uint16_t>(h);
  return true;
}

std::vector<uint8_t> EncodeJpegPicture(const uint8_t* picture, uint16_t width, uint16_t height, int quality) {
  if (picture == nullptr || width == 0 || height == 0 || quality < 1 || quality > 100) return {};
  TjHandle encoder(tjInitCompress());
  if (encoder.get() == nullptr) return {};
  unsigned char* jpeg = nullptr;
  unsigned long jpegLength = 0;
  const int result = tjCompress2(encoder.get(), picture, width, width * kBytesPerPixel, height, TJPF_BGR, &jpeg,
                                 &jpegLength, TJSAMP_420, quality, TJFLAG_BOTTOMUP);
  std::vector<uint8_t> bytes;
  if (result == 0 && jpeg != nullptr) bytes.assign(jpeg, jpeg + jpegLength);
  tjFree(jpeg);  // TurboJPEG may have allocated even when it failed
  return bytes;
}

}  // namespace tsv
