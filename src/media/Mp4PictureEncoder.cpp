#include "media/Mp4PictureEncoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace tsv {

Mp4PictureEncoder::~Mp4PictureEncoder() {
  sws_freeContext(convert_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&codec_);
}

bool Mp4PictureEncoder::Open(int width, int height, mp4::PacketOut out, std::string* error) {
  mp4::QuietLibraryLog();
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (codec == nullptr) return mp4::Fail(error, "libavcodec has no MPEG-4 encoder");
  codec_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (codec_ == nullptr || frame_ == nullptr || packet_ == nullptr) return mp4::Fail(error, "out of memory");
  codec_->width = width;
  codec_->height = height;
  codec_->pix_fmt = AV_PIX_FMT_YUV420P;
  // Recorded times are milliseconds; pictures need not be evenly spaced.
  codec_->time_base = AVRational{1, 1000};
  codec_->gop_size = kKeyInterval;
  codec_->max_b_frames = 0;
  codec_->thread_count = 1;
  codec_->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_GLOBAL_HEADER;
  codec_->global_quality = kQuantiser * FF_QP2LAMBDA;
  // The conversion below is BT.601 in the limited range; say so.
  codec_->color_range = AVCOL_RANGE_MPEG;
  codec_->colorspace = AVCOL_SPC_SMPTE170M;
  codec_->color_primaries = AVCOL_PRI_SMPTE170M;
  codec_->color_trc = AVCOL_TRC_SMPTE170M;
  const int rc = avcodec_open2(codec_, codec, nullptr);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("cannot open the MPEG-4 encoder", rc));
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  if (av_frame_get_buffer(frame_, 0) < 0) return mp4::Fail(error, "out of memory");
  convert_ = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_YUV420P,
                            SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (convert_ == nullptr) return mp4::Fail(error, "cannot set up the picture conversion");
  out_ = std::move(out);
  return true;
}

bool Mp4PictureEncoder::Encode(const uint8_t* bgrBottomUp, int64_t timeMs, std::string* error) {
  if (codec_ == nullptr || convert_ == nullptr) return mp4::Fail(error, "MPEG-4 encoder not open");
  if (av_frame_make_writable(frame_) < 0) return mp4::Fail(error, "out of memory");
  // The last row first with a negative stride turns the picture upright.
  const int stride = codec_->width * 3;
  const uint8_t* rows[1] = {bgrBottomUp + static_cast<std::ptrdiff_t>(codec_->height - 1) * stride};
  const int strides[1] = {-stride};
  if (sws_scale(convert_, rows, strides, 0, codec_->height, frame_->data, frame_->linesize) != codec_->height)
    return mp4::Fail(error, "picture conversion failed");
  frame_->pts = timeMs;
  frame_->quality = codec_->global_quality;
  frame_->pict_type = AV_PICTURE_TYPE_NONE;
  const int rc = avcodec_send_frame(codec_, frame_);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("MPEG-4 encoding failed", rc));
  return mp4::DrainEncoder(codec_, packet_, out_, error);
}

bool Mp4PictureEncoder::Flush(std::string* error) {
  if (codec_ == nullptr) return mp4::Fail(error, "MPEG-4 encoder not open");
  const int rc = avcodec_send_frame(codec_, nullptr);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("MPEG-4 encoding failed", rc));
  return mp4::DrainEncoder(codec_, packet_, out_, error);
}

}  // namespace tsv
