// A standard MP4 file of an exported stretch of a recording, for people who
// only have a standard player: the pictures (copied as recorded, or decoded
// by us and re-encoded where a standard decoder would go wrong), the sound
// as AAC, a subtitle track with the recorded date and time, and the
// recorded start as the file's creation time. The file appears under its
// name only when complete and never replaces an existing file.
//
// Picture and sound times are milliseconds on the recording's clock; the
// first picture's time is the clip's zero. Called from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SystemTime.h"

struct AVFormatContext;
struct AVStream;
struct AVPacket;

namespace tsv {

class Mp4FileSink;
class Mp4PictureEncoder;
class Mp4SoundEncoder;
class Mp4ClockSubtitles;

enum class Mp4VideoCodec {
  Mpeg4Copy,    // MPEG-4 Part 2 pictures copied as coded
  JpegCopy,     // JPEG pictures copied as coded (MJPEG)
  Mpeg4Encode,  // decoded pictures re-encoded as MPEG-4 Part 2
};

struct Mp4ClipSettings {
  Mp4VideoCodec codec = Mp4VideoCodec::Mpeg4Copy;
  uint16_t width = 0;  // picture size
  uint16_t height = 0;
  bool sound = false;  // the clip gets a sound track
  // Recorded local date and time of the first picture.
  SYSTEMTIME start;
};

// The UTC time "YYYY-MM-DDThh:mm:ss.uuuuuuZ" of a recorded local time, as
// the machine's time zone reads it; empty for a time that does not exist
// on the calendar.
std::string Mp4CreationTime(const SYSTEMTIME& local);

class Mp4ClipWriter {
 public:
  // Length of the last picture of a clip: the interval before it, at most
  // a second; a clip of one picture shows it for one 25th of a second.
  static constexpr int64_t kLongestLastPictureMs = 1000;
  static constexpr int64_t kSinglePictureMs = 40;
  // A picture this far behind the one before means the recorded clock was
  // set back; smaller steps back are taken as jitter.
  static constexpr int64_t kClockSetBackMs = 1000;
  // Sound given before the first picture is held, up to this many
  // samples (10 s), until the first picture says where the clip begins.
  static constexpr std::size_t kEarlySoundLimit = 80000;

  Mp4ClipWriter();
  ~Mp4ClipWriter();
  Mp4ClipWriter(const Mp4ClipWriter&) = delete;
  Mp4ClipWriter& operator=(const Mp4ClipWriter&) = delete;

  // Starts folder/stem.mp4 (stem_2.mp4, ... when taken) under a temporary
  // name. A writer may be opened again after Finish or Abort.
  bool Open(const std::string& folder, const std::string& stem, const Mp4ClipSettings& settings, std::string* error);

  // Copy modes: one coded picture (MPEG-4 Part 2 elementary-stream bytes,
  // whose key pictures begin with the video object and video object layer
  // headers; or one JPEG image, always a key picture), its time and
  // whether it is a key picture. A picture whose time does not advance is
  // placed 1 ms after the one before; after the recorded clock was set
  // back the clip goes on seamlessly.
  // False when the picture is refused (wrong mode, empty, a first picture
  // that is no key picture or lacks the stream headers; the clip goes on
  // without it) or when writing failed, which Finish then reports.
  bool AddPicture(const uint8_t* data, std::size_t size, uint32_t timeMs, bool key);
  // Encode mode: one decoded picture, width x height x 3 bytes of
  // blue-green-red, bottom row first.
  bool AddRawPicture(const uint8_t* bgrBottomUp, uint32_t timeMs);
  // Sound: 16-bit mono PCM at 8000 Hz whose first sample plays at timeMs.
  // Sound before the first picture or after the last is left out; gaps
  // become silence. False when the clip has no sound track.
  bool AddSound(const int16_t* samples, std::size_t count, uint32_t timeMs);

  // Completes the tracks (one clock cue per second over the whole clip)
  // and publishes the file. False, and no file left, on any failure or
  // when no picture was added.
  bool Finish(std::string* error);
  // Drops the clip: no file is left. Also what destruction does to a clip
  // that was not finished.
  void Abort();

  // The file's name: the intended one while writing, the published one
  // after Finish.
  const std::string& path() const { return path_; }
  uint32_t picturesWritten() const { return pictures_; }
  // The reason of the last refusal or failure.
  const std::string& error() const { return error_; }

 private:
  enum class State { Closed, Writing, Failed, Finished };
  struct EarlySound {
    uint32_t timeMs;
    std::vector<int16_t> samples;
  };

  bool OpenStreams(const Mp4ClipSettings& settings);
  bool Refuse(const std::string& reason);
  bool Failed(const std::string& reason);
  bool StartClip(uint32_t timeMs);
  int64_t PlacePicture(uint32_t timeMs);
  bool AfterPicture(int64_t pts);
  bool Write(AVStream* stream, int denominator, AVPacket* packet);
  void Release();

  Mp4ClipSettings settings_;
  State state_ = State::Closed;
  std::unique_ptr<Mp4FileSink> sink_;
  AVFormatContext* format_ = nullptr;
  AVStream* video_ = nullptr;
  AVStream* sound_ = nullptr;
  AVStream* subtitle_ = nullptr;
  AVPacket* packet_ = nullptr;  // carries each copied picture
  std::unique_ptr<Mp4PictureEncoder> pictureEncoder_;
  std::unique_ptr<Mp4SoundEncoder> soundEncoder_;
  std::unique_ptr<Mp4ClockSubtitles> subtitles_;
  std::vector<EarlySound> earlySound_;
  std::size_t earlySamples_ = 0;
  int64_t originMs_ = 0;  // recorded time of the clip's zero
  int64_t lastPts_ = 0;
  int64_t lastDuration_ = kSinglePictureMs;
  uint32_t pictures_ = 0;
  std::string path_;
  std::string error_;
};

}  // namespace tsv
