// The sound track of an MP4 clip: 16-bit mono PCM at 8000 Hz, placed on the
// clip's clock by the time of each block and encoded as AAC with
// libavcodec's native encoder, always in whole encoder frames. Sound is
// held until the clip's pictures have reached it, so the track never runs
// past the last picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "media/Mp4Av.h"

namespace tsv {

class Mp4SoundEncoder {
 public:
  static constexpr int kSampleRate = 8000;
  static constexpr int kSamplesPerMs = kSampleRate / 1000;
  // A block that starts this close to where the sound so far ends
  // continues it without a gap: recorded times jitter by a few ms.
  static constexpr int64_t kJoinTolerance = 40 * kSamplesPerMs;

  Mp4SoundEncoder() = default;
  ~Mp4SoundEncoder();
  Mp4SoundEncoder(const Mp4SoundEncoder&) = delete;
  Mp4SoundEncoder& operator=(const Mp4SoundEncoder&) = delete;

  // `out` receives every AAC packet (time base 1 / 8000).
  bool Open(mp4::PacketOut out, std::string* error);
  const AVCodecContext* context() const { return codec_; }

  // Queues samples whose first belongs at sample `start` of the clip.
  // Samples before sample 0 are dropped; a block that starts later than
  // the sound so far ends (beyond the tolerance) leaves silence between;
  // one that starts earlier loses the part already covered.
  void Add(const int16_t* samples, std::size_t count, int64_t start);
  // Encodes every whole frame that ends at or before sample `limit`.
  bool EncodeUpTo(int64_t limit, std::string* error);
  // Encodes the sound up to sample `end` exactly (the last frame may be
  // short; silence where no sound was given), drops what lies beyond and
  // drains the encoder.
  bool Finish(int64_t end, std::string* error);

 private:
  struct Segment {
    int64_t start;
    std::size_t count;
  };

  bool EncodeFrame(int samples, std::string* error);
  void FillFrame(float* out, int samples);

  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  mp4::PacketOut out_;
  // Queued samples in time order: data_ from readPos_ on holds the samples
  // of segments_, one after another.
  std::vector<int16_t> data_;
  std::size_t readPos_ = 0;
  std::deque<Segment> segments_;
  int64_t queuedEnd_ = 0;  // sample after the last one queued
  int64_t encoded_ = 0;    // first sample of the next frame
};

}  // namespace tsv
