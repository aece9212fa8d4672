// Header query on streams written by another encoder (libavcodec's MPEG-4
// visual encoder), so the parser is checked against headers that its own
// tests did not build.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstdint>
#include <cstring>
#include <vector>

#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv {
namespace {

struct EncoderCase {
  const char* name;
  int width;
  int height;
  AVRational timeBase;
  AVRational aspect;    // {0, 1}: unset
  bool globalHeader;    // headers in extradata rather than the first packet
  int maxBFrames;       // 0 writes control parameters (low delay)
  bool quarterSample;   // makes the encoder write layer version 2
};

// Headers of one encoded grey picture: the extradata, or the first packet
// when the encoder puts them in band. Empty on any encoder failure.
std::vector<uint8_t> EncodeHeaders(const EncoderCase& c) {
  std::vector<uint8_t> out;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (codec == nullptr) return out;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  if (ctx != nullptr && frame != nullptr && packet != nullptr) {
    ctx->width = c.width;
    ctx->height = c.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = c.timeBase;
    ctx->sample_aspect_ratio = c.aspect;
    ctx->max_b_frames = c.maxBFrames;
    ctx->gop_size = 12;
    if (c.globalHeader) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (c.quarterSample) ctx->flags |= AV_CODEC_FLAG_QPEL;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = c.width;
    frame->height = c.height;
    if (avcodec_open2(ctx, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
      for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? c.height : c.height / 2;
        for (int y = 0; y < rows; ++y) {
          std::memset(frame->data[plane] + y * frame->linesize[plane], 128, frame->linesize[plane]);
        }
      }
      frame->pts = 0;
      if (c.globalHeader) {
        out.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
      } else if (avcodec_send_frame(ctx, frame) == 0) {
        int got = avcodec_receive_packet(ctx, packet);
        if (got == AVERROR(EAGAIN) && avcodec_send_frame(ctx, nullptr) == 0) {
          got = avcodec_receive_packet(ctx, packet);
        }
        if (got == 0) out.assign(packet->data, packet->data + packet->size);
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return out;
}

TEST(Mpeg4HeaderFfmpeg, EncoderHeadersGiveTheirSize) {
  const EncoderCase cases[] = {
      {"352x240 extradata", 352, 240, {1, 25}, {0, 1}, true, 0, false},
      {"352x240 first packet", 352, 240, {1, 25}, {0, 1}, false, 0, false},
      {"720x576 NTSC clock, B pictures", 720, 576, {1001, 30000}, {0, 1}, true, 2, false},
      {"704x480 odd aspect, quarter sample", 704, 480, {1, 30}, {7, 5}, true, 0, true},
      {"176x144 first packet, B pictures", 176, 144, {1, 15}, {12, 11}, false, 1, false},
      {"640x456", 640, 456, {1, 12}, {0, 1}, true, 0, false},
  };
  for (const EncoderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = EncodeHeaders(c);
    ASSERT_FALSE(bytes.empty());
    Mpeg4StreamBytes stream{bytes.data(), bytes.size()};
    uint32_t packed = 0;
    EXPECT_EQ(kMpeg4Ok, Mpeg4DecoderEntry(1, kMpeg4HeaderQuery, &stream, &packed, 0, 0, 0));
    EXPECT_EQ(static_cast<uint32_t>(c.width), packed >> 12);
    EXPECT_EQ(static_cast<uint32_t>(c.height), packed & 0xFFFu);
  }
}

}  // namespace
}  // namespace tsv
