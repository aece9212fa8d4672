// Re-encoding of decoded pictures for an MP4 clip: packed blue-green-red
// pictures, bottom row first, converted to 4:2:0 with libswscale and coded
// with libavcodec's MPEG-4 Part 2 encoder at a fixed high quality. Used for
// streams whose predicted pictures all refer to their key picture, which
// standard decoders do not follow.
#pragma once

#include <cstdint>
#include <string>

#include "media/Mp4Av.h"

struct SwsContext;

namespace tsv {

class Mp4PictureEncoder {
 public:
  // Quantiser of every picture (2 is the finest).
  static constexpr int kQuantiser = 2;
  // Pictures from one key picture to the next.
  static constexpr int kKeyInterval = 25;

  Mp4PictureEncoder() = default;
  ~Mp4PictureEncoder();
  Mp4PictureEncoder(const Mp4PictureEncoder&) = delete;
  Mp4PictureEncoder& operator=(const Mp4PictureEncoder&) = delete;

  // `out` receives every packet (time base 1 / 1000).
  bool Open(int width, int height, mp4::PacketOut out, std::string* error);
  // The encoder's parameters, stream headers included, once open.
  const AVCodecContext* context() const { return codec_; }
  // Encodes one picture of width x height x 3 bytes shown from timeMs on;
  // times must increase.
  bool Encode(const uint8_t* bgrBottomUp, int64_t timeMs, std::string* error);
  // Passes on the pictures the encoder still holds.
  bool Flush(std::string* error);

 private:
  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* convert_ = nullptr;
  mp4::PacketOut out_;
};

}  // namespace tsv
