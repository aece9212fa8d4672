#include "media/Mp4SoundEncoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace tsv {

namespace {

// Plenty for speech and room noise at 8000 Hz.
constexpr int64_t kBitRate = 32000;

}  // namespace

Mp4SoundEncoder::~Mp4SoundEncoder() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&codec_);
}

bool Mp4SoundEncoder::Open(mp4::PacketOut out, std::string* error) {
  mp4::QuietLibraryLog();
  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  if (codec == nullptr) return mp4::Fail(error, "libavcodec has no AAC encoder");
  codec_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (codec_ == nullptr || frame_ == nullptr || packet_ == nullptr) return mp4::Fail(error, "out of memory");
  codec_->sample_rate = kSampleRate;
  codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&codec_->ch_layout, 1);
  codec_->bit_rate = kBitRate;
  av_opt_set(codec_->priv_data, "aac_coder", "fast", 0);
  codec_->time_base = AVRational{1, kSampleRate};
  // The MP4 muxer keeps the decoder configuration in the sample description.
  codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(codec_, codec, nullptr);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("cannot open the AAC encoder", rc));
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->sample_rate = kSampleRate;
  frame_->nb_samples = codec_->frame_size;
  if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 || av_frame_get_buffer(frame_, 0) < 0)
    return mp4::Fail(error, "out of memory");
  out_ = std::move(out);
  return true;
}

void Mp4SoundEncoder::Add(const int16_t* samples, std::size_t count, int64_t start) {
  if (codec_ == nullptr || samples == nullptr) return;
  auto drop = [&](int64_t n) {
    const std::size_t k = static_cast<std::size_t>(std::min<int64_t>(n, static_cast<int64_t>(count)));
    samples += k;
    count -= k;
    start += static_cast<int64_t>(k);
  };
  if (start < 0) drop(-start);
  const int64_t end = std::max(queuedEnd_, encoded_);
  if (start > end - kJoinTolerance && start < end + kJoinTolerance) start = end;
  if (start < end) drop(end - start);
  if (count == 0) return;
  if (!segments_.empty() && segments_.back().start + static_cast<int64_t>(segments_.back().count) == start) {
    segments_.back().count += count;
  } else {
    segments_.push_back(Segment{start, count});
  }
  // Consumed samples are moved out once they are the larger part.
  if (readPos_ > data_.size() / 2) {
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(readPos_));
    readPos_ = 0;
  }
  data_.insert(data_.end(), samples, samples + count);
  queuedEnd_ = start + static_cast<int64_t>(count);
}

void Mp4SoundEncoder::FillFrame(float* out, int samples) {
  std::fill(out, out + samples, 0.0f);
  const int64_t frameEnd = encoded_ + samples;
  while (!segments_.empty()) {
    Segment& s = segments_.front();
    if (s.start >= frameEnd) break;
    const int64_t from = std::max(s.start, encoded_);
    const std::size_t skip = static_cast<std::size_t>(from - s.start);
    const std::size_t n =
        static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(s.count - skip), frameEnd - from));
    const int16_t* src = data_.data() + readPos_ + skip;
    float* dst = out + (from - encoded_);
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]) * (1.0f / 32768.0f);
    readPos_ += skip + n;
    s.start += static_cast<int64_t>(skip + n);
    s.count -= skip + n;
    if (s.count > 0) break;
    segments_.pop_front();
  }
}

bool Mp4SoundEncoder::EncodeFrame(int samples, std::string* error) {
  if (av_frame_make_writable(frame_) < 0) return mp4::Fail(error, "out of memory");
  frame_->nb_samples = samples;
  FillFrame(reinterpret_cast<float*>(frame_->data[0]), samples);
  frame_->pts = encoded_;
  encoded_ += samples;
  const int rc = avcodec_send_frame(codec_, frame_);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("AAC encoding failed", rc));
  return mp4::DrainEncoder(codec_, packet_, out_, error);
}

bool Mp4SoundEncoder::EncodeUpTo(int64_t limit, std::string* error) {
  if (codec_ == nullptr) return mp4::Fail(error, "AAC encoder not open");
  while (encoded_ + codec_->frame_size <= limit) {
    if (!EncodeFrame(codec_->frame_size, error)) return false;
  }
  return true;
}

bool Mp4SoundEncoder::Finish(int64_t end, std::string* error) {
  if (!EncodeUpTo(end, error)) return false;
  if (encoded_ < end && !EncodeFrame(static_cast<int>(end - encoded_), error)) return false;
  segments_.clear();
  data_.clear();
  readPos_ = 0;
  const int rc = avcodec_send_frame(codec_, nullptr);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("AAC encoding failed", rc));
  return mp4::DrainEncoder(codec_, packet_, out_, error);
}

}  // namespace tsv
