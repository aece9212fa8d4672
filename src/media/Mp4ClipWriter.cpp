#include "media/Mp4ClipWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

#include "media/Mp4Av.h"
#include "media/Mp4ClockSubtitles.h"
#include "media/Mp4FileSink.h"
#include "media/Mp4PictureEncoder.h"
#include "media/Mp4SoundEncoder.h"
#include "media/jpeg/JpegPicture.h"

namespace tsv {

namespace {

constexpr int kMsPerSecond = 1000;
// Largest picture side MPEG-4 Part 2 and the player handle.
constexpr uint16_t kLargestSide = 4096;

// Length of the stream headers at the start of an MPEG-4 key picture: the
// bytes before the first group-of-VOP or VOP start code. Zero unless they
// hold a video object layer header (00 00 01 20..2F).
std::size_t Mpeg4HeaderLength(const uint8_t* data, std::size_t size) {
  bool layer = false;
  for (std::size_t i = 0; i + 3 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
    const uint8_t code = data[i + 3];
    if (code == 0xB3 || code == 0xB6) return layer ? i : 0;
    if (code >= 0x20 && code <= 0x2F) layer = true;
  }
  return 0;
}

}  // namespace

std::string Mp4CreationTime(const SYSTEMTIME& t) {
  if (t.wYear < 1970 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > 31 || t.wHour > 23 || t.wMinute > 59 ||
      t.wSecond > 59 || t.wMilliseconds > 999)
    return {};
  std::tm local{};
  local.tm_year = t.wYear - 1900;
  local.tm_mon = t.wMonth - 1;
  local.tm_mday = t.wDay;
  local.tm_hour = t.wHour;
  local.tm_min = t.wMinute;
  local.tm_sec = t.wSecond;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  // mktime moves 31 February to March: such a day is not on the calendar.
  if (when == static_cast<std::time_t>(-1) || local.tm_mday != t.wDay) return {};
  std::tm utc{};
  if (gmtime_r(&when, &utc) == nullptr) return {};
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06uZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, t.wMilliseconds * 1000u);
  return text;
}

Mp4ClipWriter::Mp4ClipWriter() = default;

Mp4ClipWriter::~Mp4ClipWriter() { Abort(); }

bool Mp4ClipWriter::Open(const std::string& folder, const std::string& stem, const Mp4ClipSettings& settings,
                         std::string* error) {
  Abort();
  error_.clear();
  if (settings.width == 0 || settings.height == 0 || settings.width > kLargestSide || settings.height > kLargestSide) {
    error_ = "picture size out of range";
  } else if (stem.empty() || stem.find('/') != std::string::npos) {
    error_ = "the clip needs a plain file name";
  } else {
    settings_ = settings;
    sink_ = std::make_unique<Mp4FileSink>();
    if (sink_->Create(folder, stem, &path_, &error_) && OpenStreams(settings)) {
      state_ = State::Writing;
      return true;
    }
  }
  Release();
  path_.clear();
  if (error != nullptr) *error = error_;
  return false;
}

bool Mp4ClipWriter::OpenStreams(const Mp4ClipSettings& s) {
  mp4::QuietLibraryLog();
  int rc = avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr);
  packet_ = av_packet_alloc();
  if (rc < 0 || format_ == nullptr || packet_ == nullptr) return mp4::Fail(&error_, "cannot set up the MP4 muxer");
  format_->pb = sink_->io();
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  // Packets go out in large writes, not one system call each.
  format_->flush_packets = 0;
  const std::string created = Mp4CreationTime(s.start);
  if (!created.empty()) av_dict_set(&format_->metadata, "creation_time", created.c_str(), 0);

  video_ = avformat_new_stream(format_, nullptr);
  if (video_ == nullptr) return mp4::Fail(&error_, "out of memory");
  video_->time_base = AVRational{1, kMsPerSecond};
  if (s.codec == Mp4VideoCodec::Mpeg4Encode) {
    pictureEncoder_ = std::make_unique<Mp4PictureEncoder>();
    auto out = [this](AVPacket* p) {
      p->duration = lastDuration_;
      return Write(video_, kMsPerSecond, p);
    };
    if (!pictureEncoder_->Open(s.width, s.height, out, &error_)) return false;
    if (avcodec_parameters_from_context(video_->codecpar, pictureEncoder_->context()) < 0)
      return mp4::Fail(&error_, "out of memory");
  } else {
    AVCodecParameters* par = video_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = s.codec == Mp4VideoCodec::JpegCopy ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_MPEG4;
    par->width = s.width;
    par->height = s.height;
    if (s.codec == Mp4VideoCodec::JpegCopy) par->color_range = AVCOL_RANGE_JPEG;
  }

  if (s.sound) {
    soundEncoder_ = std::make_unique<Mp4SoundEncoder>();
    auto out = [this](AVPacket* p) { return Write(sound_, Mp4SoundEncoder::kSampleRate, p); };
    if (!soundEncoder_->Open(out, &error_)) return false;
    sound_ = avformat_new_stream(format_, nullptr);
    if (sound_ == nullptr || avcodec_parameters_from_context(sound_->codecpar, soundEncoder_->context()) < 0)
      return mp4::Fail(&error_, "out of memory");
    sound_->time_base = AVRational{1, Mp4SoundEncoder::kSampleRate};
  }

  subtitles_ = std::make_unique<Mp4ClockSubtitles>();
  auto out = [this](AVPacket* p) { return Write(subtitle_, Mp4ClockSubtitles::kTicksPerSecond, p); };
  if (!subtitles_->Open(s.start, out, &error_)) return false;
  subtitle_ = avformat_new_stream(format_, nullptr);
  if (subtitle_ == nullptr || avcodec_parameters_from_context(subtitle_->codecpar, subtitles_->context()) < 0)
    return mp4::Fail(&error_, "out of memory");
  subtitle_->time_base = AVRational{1, Mp4ClockSubtitles::kTicksPerSecond};
  // Shown without the viewer having to pick it.
  subtitle_->disposition = AV_DISPOSITION_DEFAULT;
  return true;
}

bool Mp4ClipWriter::Refuse(const std::string& reason) {
  error_ = reason;
  return false;
}

bool Mp4ClipWriter::Failed(const std::string& reason) {
  if (!reason.empty()) error_ = reason;
  state_ = State::Failed;
  return false;
}

bool Mp4ClipWriter::Write(AVStream* stream, int denominator, AVPacket* packet) {
  av_packet_rescale_ts(packet, AVRational{1, denominator}, stream->time_base);
  packet->stream_index = stream->index;
  // The muxer interleaves the tracks by time and takes the packet's data.
  const int rc = av_interleaved_write_frame(format_, packet);
  if (rc < 0) return mp4::Fail(&error_, mp4::AvErrorText("cannot write the clip", rc));
  return true;
}

bool Mp4ClipWriter::StartClip(uint32_t timeMs) {
  const int rc = avformat_write_header(format_, nullptr);
  if (rc < 0) return Failed(mp4::AvErrorText("cannot start the MP4 file", rc));
  originMs_ = timeMs;
  lastPts_ = 0;
  lastDuration_ = kSinglePictureMs;
  for (const EarlySound& block : earlySound_) {
    const int64_t start = (static_cast<int64_t>(block.timeMs) - originMs_) * Mp4SoundEncoder::kSamplesPerMs;
    soundEncoder_->Add(block.samples.data(), block.samples.size(), start);
  }
  earlySound_.clear();
  earlySamples_ = 0;
  return true;
}

int64_t Mp4ClipWriter::PlacePicture(uint32_t timeMs) {
  if (pictures_ == 0) return 0;
  int64_t pts = static_cast<int64_t>(timeMs) - originMs_;
  // The recorded clock was set back: the clip goes on from here with the
  // spacing it had, and later pictures and sound follow the new clock.
  if (pts <= lastPts_ - kClockSetBackMs) {
    originMs_ = static_cast<int64_t>(timeMs) - (lastPts_ + lastDuration_);
    pts = lastPts_ + lastDuration_;
  }
  // Pictures must advance: one whose time does not is put just after the
  // one before rather than dropped.
  pts = std::max(pts, lastPts_ + 1);
  lastDuration_ = std::min(pts - lastPts_, kLongestLastPictureMs);
  lastPts_ = pts;
  return pts;
}

bool Mp4ClipWriter::AfterPicture(int64_t pts) {
  ++pictures_;
  if (soundEncoder_ && !soundEncoder_->EncodeUpTo(pts * Mp4SoundEncoder::kSamplesPerMs, &error_)) return Failed({});
  return true;
}

bool Mp4ClipWriter::AddPicture(const uint8_t* data, std::size_t size, uint32_t timeMs, bool key) {
  if (state_ != State::Writing) return Refuse(state_ == State::Failed ? error_ : "the clip is not open");
  if (settings_.codec == Mp4VideoCodec::Mpeg4Encode) return Refuse("the clip re-encodes decoded pictures");
  if (data == nullptr || size == 0) return Refuse("empty picture");
  if (settings_.codec == Mp4VideoCodec::JpegCopy) {
    const std::size_t start = FindJpegStart(data, size);
    if (start >= size) return Refuse("no JPEG picture");
    data += start;
    size -= start;
    key = true;
  }
  if (size > static_cast<std::size_t>(INT32_MAX)) return Refuse("picture too large");
  if (pictures_ == 0) {
    if (!key) return Refuse("the clip must begin with a key picture");
    if (settings_.codec == Mp4VideoCodec::Mpeg4Copy) {
      const std::size_t headers = Mpeg4HeaderLength(data, size);
      if (headers == 0) return Refuse("the first key picture carries no stream headers");
      AVCodecParameters* par = video_->codecpar;
      par->extradata = static_cast<uint8_t*>(av_mallocz(headers + AV_INPUT_BUFFER_PADDING_SIZE));
      if (par->extradata == nullptr) return Failed("out of memory");
      std::memcpy(par->extradata, data, headers);
      par->extradata_size = static_cast<int>(headers);
    }
    if (!StartClip(timeMs)) return false;
  }
  const int64_t pts = PlacePicture(timeMs);
  if (!subtitles_->Advance(pts, &error_)) return Failed({});
  // The muxer holds pictures until the other tracks have caught up, so it
  // gets its own copy: one buffer per picture, taken over by the muxer.
  if (av_new_packet(packet_, static_cast<int>(size)) < 0) return Failed("out of memory");
  std::memcpy(packet_->data, data, size);
  packet_->pts = pts;
  packet_->dts = pts;
  packet_->duration = lastDuration_;
  packet_->flags = key ? AV_PKT_FLAG_KEY : 0;
  packet_->pos = -1;
  const bool written = Write(video_, kMsPerSecond, packet_);
  av_packet_unref(packet_);
  if (!written) return Failed({});
  return AfterPicture(pts);
}

bool Mp4ClipWriter::AddRawPicture(const uint8_t* bgrBottomUp, uint32_t timeMs) {
  if (state_ != State::Writing) return Refuse(state_ == State::Failed ? error_ : "the clip is not open");
  if (settings_.codec != Mp4VideoCodec::Mpeg4Encode) return Refuse("the clip copies coded pictures");
  if (bgrBottomUp == nullptr) return Refuse("empty picture");
  if (pictures_ == 0 && !StartClip(timeMs)) return false;
  const int64_t pts = PlacePicture(timeMs);
  if (!subtitles_->Advance(pts, &error_)) return Failed({});
  if (!pictureEncoder_->Encode(bgrBottomUp, pts, &error_)) return Failed({});
  return AfterPicture(pts);
}

bool Mp4ClipWriter::AddSound(const int16_t* samples, std::size_t count, uint32_t timeMs) {
  if (state_ != State::Writing) return Refuse(state_ == State::Failed ? error_ : "the clip is not open");
  if (!soundEncoder_) return Refuse("the clip has no sound track");
  if (count == 0) return true;
  if (samples == nullptr) return Refuse("no samples");
  if (pictures_ == 0) {
    // Where the clip begins is not known yet; keep the latest few seconds.
    earlySound_.push_back(EarlySound{timeMs, std::vector<int16_t>(samples, samples + count)});
    earlySamples_ += count;
    while (earlySamples_ > kEarlySoundLimit && earlySound_.size() > 1) {
      earlySamples_ -= earlySound_.front().samples.size();
      earlySound_.erase(earlySound_.begin());
    }
    return true;
  }
  const int64_t start = (static_cast<int64_t>(timeMs) - originMs_) * Mp4SoundEncoder::kSamplesPerMs;
  soundEncoder_->Add(samples, count, start);
  // Sound that arrives after its pictures is encoded at once.
  if (!soundEncoder_->EncodeUpTo(lastPts_ * Mp4SoundEncoder::kSamplesPerMs, &error_)) return Failed({});
  return true;
}

bool Mp4ClipWriter::Finish(std::string* error) {
  auto fail = [&](const std::string& reason) {
    if (!reason.empty()) error_ = reason;
    if (error != nullptr) *error = error_;
    Abort();
    return false;
  };
  if (state_ == State::Failed) return fail({});
  if (state_ != State::Writing) return fail("the clip is not open");
  if (pictures_ == 0) return fail("the clip has no pictures");
  const int64_t endMs = lastPts_ + lastDuration_;
  if (pictureEncoder_ && !pictureEncoder_->Flush(&error_)) return fail({});
  if (soundEncoder_ && !soundEncoder_->Finish(endMs * Mp4SoundEncoder::kSamplesPerMs, &error_)) return fail({});
  if (!subtitles_->Finish(endMs, &error_)) return fail({});
  const int rc = av_write_trailer(format_);
  if (rc < 0) return fail(mp4::AvErrorText("cannot complete the MP4 file", rc));
  std::string published;
  if (!sink_->Publish(&published, &error_)) return fail({});
  path_ = published;
  Release();
  state_ = State::Finished;
  return true;
}

void Mp4ClipWriter::Abort() {
  Release();
  if (state_ != State::Finished) path_.clear();
  state_ = State::Closed;
  pictures_ = 0;
}

void Mp4ClipWriter::Release() {
  // The muxer's streams go with its context; the file's I/O context stays
  // with the sink, which removes an unpublished file.
  avformat_free_context(format_);
  format_ = nullptr;
  video_ = sound_ = subtitle_ = nullptr;
  av_packet_free(&packet_);
  pictureEncoder_.reset();
  soundEncoder_.reset();
  subtitles_.reset();
  sink_.reset();
  earlySound_.clear();
  earlySamples_ = 0;
}

}  // namespace tsv
