#include "media/Mp4ClockSubtitles.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
}

namespace tsv {

namespace {

// The mov_text encoder takes its sample description (font, size, colour,
// placement) from the ASS header's default style: white text at the bottom
// centre.
constexpr char kAssHeader[] =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

// One cue's text is some twenty bytes; the packet adds two.
constexpr int kCueBufferSize = 256;

}  // namespace

std::string ClockCueText(const SYSTEMTIME& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u/%02u/%02u  %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

Mp4ClockSubtitles::~Mp4ClockSubtitles() {
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
}

bool Mp4ClockSubtitles::Open(const SYSTEMTIME& start, mp4::PacketOut out, std::string* error) {
  mp4::QuietLibraryLog();
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
  if (codec == nullptr) return mp4::Fail(error, "libavcodec has no mov_text encoder");
  codec_ = avcodec_alloc_context3(codec);
  packet_ = av_packet_alloc();
  if (codec_ == nullptr || packet_ == nullptr) return mp4::Fail(error, "out of memory");
  codec_->time_base = AVRational{1, kTicksPerSecond};
  // Freed with the context.
  codec_->subtitle_header = static_cast<uint8_t*>(av_malloc(sizeof kAssHeader));
  if (codec_->subtitle_header == nullptr) return mp4::Fail(error, "out of memory");
  std::memcpy(codec_->subtitle_header, kAssHeader, sizeof kAssHeader);
  codec_->subtitle_header_size = static_cast<int>(sizeof kAssHeader - 1);
  const int rc = avcodec_open2(codec_, codec, nullptr);
  if (rc < 0) return mp4::Fail(error, mp4::AvErrorText("cannot open the mov_text encoder", rc));
  start_ = start;
  cues_ = 0;
  out_ = std::move(out);
  return true;
}

int64_t Mp4ClockSubtitles::CueStart(uint32_t cue) const {
  return cue == 0 ? 0 : static_cast<int64_t>(cue) * 1000 - start_.wMilliseconds % 1000;
}

bool Mp4ClockSubtitles::WriteCue(int64_t endMs, std::string* error) {
  const int64_t begin = CueStart(cues_);
  // An ASS event: ReadOrder, Layer, Style, Name, MarginL, MarginR, MarginV,
  // Effect, Text.
  const std::string event = "0,0,Default,,0,0,0,," + ClockCueText(AddSecondsLocal(start_, cues_));
  AVSubtitleRect rect{};
  rect.type = SUBTITLE_ASS;
  rect.ass = const_cast<char*>(event.c_str());
  AVSubtitleRect* rects[1] = {&rect};
  AVSubtitle subtitle{};
  subtitle.num_rects = 1;
  subtitle.rects = rects;
  subtitle.end_display_time = static_cast<uint32_t>(endMs - begin);
  // The muxer keeps each cue's packet: a new one per cue.
  if (av_new_packet(packet_, kCueBufferSize) < 0) return mp4::Fail(error, "out of memory");
  const int size = avcodec_encode_subtitle(codec_, packet_->data, kCueBufferSize, &subtitle);
  if (size <= 0) {
    av_packet_unref(packet_);
    return mp4::Fail(error,
                     size < 0 ? mp4::AvErrorText("cannot encode a clock cue", size) : "cannot encode a clock cue");
  }
  av_shrink_packet(packet_, size);
  packet_->pts = begin * kTicksPerMs;
  packet_->dts = packet_->pts;
  packet_->duration = (endMs - begin) * kTicksPerMs;
  packet_->flags = AV_PKT_FLAG_KEY;
  ++cues_;
  const bool written = out_(packet_);
  av_packet_unref(packet_);
  return written;
}

bool Mp4ClockSubtitles::Advance(int64_t timeMs, std::string* error) {
  if (codec_ == nullptr) return mp4::Fail(error, "clock subtitles not open");
  while (CueStart(cues_ + 1) <= timeMs) {
    if (!WriteCue(CueStart(cues_ + 1), error)) return false;
  }
  return true;
}

bool Mp4ClockSubtitles::Finish(int64_t endMs, std::string* error) {
  if (!Advance(endMs, error)) return false;
  if (CueStart(cues_) < endMs) return WriteCue(endMs, error);
  return true;
}

}  // namespace tsv
