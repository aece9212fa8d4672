// Test helpers: decoding MPEG-4 elementary-stream pictures with libavcodec's
// own decoder, and comparing pictures by PSNR.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "synth/TestPicture.h"

namespace tsv::test {

using Packet = std::vector<uint8_t>;

// Decodes packets with a fresh libavcodec decoder; every output picture in
// order, the decoder flushed at the end.
inline std::vector<YuvPicture> DecodeFresh(const std::vector<const Packet*>& packets) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->thread_count = 1;
  EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  std::vector<YuvPicture> out;
  auto drain = [&] {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      YuvPicture p;
      p.width = frame->width;
      p.height = frame->height;
      auto plane = [&](int i, int w, int h, std::vector<uint8_t>& dst) {
        dst.resize(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
          std::copy_n(frame->data[i] + static_cast<ptrdiff_t>(y) * frame->linesize[i], w,
                      dst.data() + static_cast<size_t>(y) * w);
      };
      plane(0, p.width, p.height, p.y);
      plane(1, p.width / 2, p.height / 2, p.u);
      plane(2, p.width / 2, p.height / 2, p.v);
      out.push_back(std::move(p));
      av_frame_unref(frame);
    }
  };
  for (const Packet* data : packets) {
    pkt->data = const_cast<uint8_t*>(data->data());
    pkt->size = static_cast<int>(data->size());
    EXPECT_EQ(avcodec_send_packet(ctx, pkt), 0);
    drain();
  }
  avcodec_send_packet(ctx, nullptr);
  drain();
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return out;
}

inline double Psnr(const YuvPicture& a, const YuvPicture& b) {
  if (a.width != b.width || a.height != b.height) return 0;
  double sum = 0;
  size_t count = 0;
  for (const auto& [x, y] : {std::pair{&a.y, &b.y}, std::pair{&a.u, &b.u}, std::pair{&a.v, &b.v}}) {
    for (size_t i = 0; i < x->size(); ++i) {
      const double d = double((*x)[i]) - (*y)[i];
      sum += d * d;
    }
    count += x->size();
  }
  const double mse = sum / double(count);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}


// PSNR of packed pictures of the same size.
inline double PsnrBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - b[i];
    sum += d * d;
  }
  const double mse = sum / double(a.size());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace tsv::test
