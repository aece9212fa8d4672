#include "media/PictureFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "media/jpeg/JpegPicture.h"
#include "platform/ByteIO.h"
#include "platform/OutputFile.h"

namespace tsv {

std::vector<uint8_t> EncodeBmp(const uint8_t* picture, uint16_t width, uint16_t height) {
  // A bottom-up 24-bit BMP stores exactly our row order and colour order;
  // only the rows are padded to four bytes.
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  const std::size_t stride = (row + 3) & ~std::size_t{3};
  const std::size_t pixels = stride * height;
  std::vector<uint8_t> out(54 + pixels, 0);
  uint8_t* h = out.data();
  h[0] = 'B';
  h[1] = 'M';
  PutU32LE(h + 2, static_cast<uint32_t>(out.size()));
  PutU32LE(h + 10, 54);
  PutU32LE(h + 14, 40);
  PutU32LE(h + 18, width);
  PutU32LE(h + 22, height);
  PutU16LE(h + 26, 1);
  PutU16LE(h + 28, 24);
  PutU32LE(h + 34, static_cast<uint32_t>(pixels));
  PutU32LE(h + 38, 2835);  // 72 dots per inch
  PutU32LE(h + 42, 2835);
  for (std::size_t y = 0; y < height; ++y) std::memcpy(h + 54 + y * stride, picture + y * row, row);
  return out;
}

std::vector<uint8_t> EncodePng(const uint8_t* picture, uint16_t width, uint16_t height) {
  std::vector<uint8_t> out;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec || width == 0 || height == 0) return out;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  if (ctx && frame && packet) {
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_RGB24;
    ctx->time_base = AVRational{1, 25};
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = width;
    frame->height = height;
    if (avcodec_open2(ctx, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
      // PNG rows run top down (the last row of ours comes first) and hold
      // red-green-blue.
      const std::size_t row = static_cast<std::size_t>(width) * 3;
      for (int y = 0; y < height; ++y) {
        const uint8_t* src = picture + (height - 1 - y) * row;
        uint8_t* dst = frame->data[0] + y * frame->linesize[0];
        for (std::size_t x = 0; x < row; x += 3) {
          dst[x] = src[x + 2];
          dst[x + 1] = src[x + 1];
          dst[x + 2] = src[x];
        }
      }
      if (avcodec_send_frame(ctx, frame) == 0 && avcodec_receive_packet(ctx, packet) == 0)
        out.assign(packet->data, packet->data + packet->size);
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return out;
}

bool WritePictureFile(const std::string& path, const uint8_t* picture, uint16_t width, uint16_t height,
                      std::string* error) {
  std::string ext = path.substr(std::min(path.size(), path.rfind('.') == std::string::npos ? path.size() : path.rfind('.')));
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::vector<uint8_t> bytes;
  if (ext == ".png") bytes = EncodePng(picture, width, height);
  else if (ext == ".bmp") bytes = EncodeBmp(picture, width, height);
  else if (ext == ".jpg" || ext == ".jpeg") bytes = EncodeJpegPicture(picture, width, height, kPictureJpegQuality);
  else {
    *error = path + ": the picture file must end in .png, .bmp or .jpg";
    return false;
  }
  if (bytes.empty()) {
    *error = path + ": the picture could not be encoded";
    return false;
  }
  OutputFile out;
  if (!out.Create(path, error)) return false;
  out.Write(bytes.data(), bytes.size());
  return out.Commit(error);
}

}  // namespace tsv
