// The clock subtitle track of an MP4 clip: mov_text cues that show the
// recorded date and time the way the player's on-screen display does,
// "YYYY/MM/DD  hh:mm:ss". The cues change when the recorded clock reaches
// the next whole second, so a clip that starts at hh:mm:ss.250 shows its
// first second for 750 ms; a clip starting on a whole second gets exactly
// one cue per second.
#pragma once

#include <cstdint>
#include <string>

#include "media/Mp4Av.h"
#include "platform/SystemTime.h"

namespace tsv {

// "YYYY/MM/DD  hh:mm:ss" (two blanks between date and time).
std::string ClockCueText(const SYSTEMTIME& t);

class Mp4ClockSubtitles {
 public:
  Mp4ClockSubtitles() = default;
  ~Mp4ClockSubtitles();
  Mp4ClockSubtitles(const Mp4ClockSubtitles&) = delete;
  Mp4ClockSubtitles& operator=(const Mp4ClockSubtitles&) = delete;

  // Time base of the packets: microseconds. The MP4 muxer compares a
  // subtitle track's end with other tracks' times without converting time
  // bases and ends the subtitle early when the others' numbers are larger;
  // at this resolution they never are.
  static constexpr int kTicksPerSecond = 1000000;
  static constexpr int64_t kTicksPerMs = 1000;

  // `start` is the recorded local time of the clip's first picture; `out`
  // receives each cue's packet.
  bool Open(const SYSTEMTIME& start, mp4::PacketOut out, std::string* error);
  // The encoder's parameters (the sample description) once open.
  const AVCodecContext* context() const { return codec_; }
  // Writes every cue that ends at or before timeMs: the clip lasts at
  // least that long. The muxer's interleaving puts each cue before the
  // pictures of its second.
  bool Advance(int64_t timeMs, std::string* error);
  // Writes the remaining cues of a clip of endMs, the last one cut short
  // at the end.
  bool Finish(int64_t endMs, std::string* error);
  uint32_t cuesWritten() const { return cues_; }

 private:
  int64_t CueStart(uint32_t cue) const;
  bool WriteCue(int64_t endMs, std::string* error);

  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  mp4::PacketOut out_;
  SYSTEMTIME start_;
  uint32_t cues_ = 0;
};

}  // namespace tsv
