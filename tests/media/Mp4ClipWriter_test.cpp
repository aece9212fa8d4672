// The MP4 clip writer read back by ffprobe and ffmpeg: container and
// tracks, pictures copied byte for byte, picture and clip timing, the clock
// subtitles, the creation time, naming, refusals and the clean-up of clips
// that are not finished.
#include "media/Mp4ClipWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/Mp4ClipTestSupport.h"
#include "media/jpeg/JpegPicture.h"

namespace tsv {
namespace {

using namespace test;

std::vector<uint32_t> Every40Ms(uint32_t count) {
  std::vector<uint32_t> times;
  for (uint32_t k = 0; k < count; ++k) times.push_back(k * 40);
  return times;
}

TEST(Mp4ClipWriter, CopiedMpeg4ClipHasAllTracksAndThePicturesAsGiven) {
  TempDir dir;
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, 50);
  Mp4ClipWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, true), &error)) << error;
  std::vector<int16_t> sound(4000, 1000);
  std::string given;
  for (uint32_t k = 0; k < pictures.size(); ++k) {
    if (k % 12 == 0) {
      ASSERT_TRUE(writer.AddSound(sound.data(), sound.size(), k * 40));
    }
    ASSERT_TRUE(writer.AddPicture(pictures[k].data.data(), pictures[k].data.size(), k * 40, pictures[k].key));
    given.append(pictures[k].data.begin(), pictures[k].data.end());
  }
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(writer.path(), dir.File("clip.mp4"));
  EXPECT_EQ(writer.picturesWritten(), 50u);
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"clip.mp4"});
  const std::string f = writer.path();

  auto format = Probe(f, "", "format=format_name,duration:format_tags=creation_time");
  EXPECT_NE(format["format_name"].find("mp4"), std::string::npos);
  EXPECT_EQ(format["duration"], "2.000000");
  EXPECT_EQ(format["TAG:creation_time"], "2026-03-05T10:15:30.000000Z");
  auto video = Probe(f, "v", "stream=codec_name,width,height,nb_frames,duration");
  EXPECT_EQ(video["codec_name"], "mpeg4");
  EXPECT_EQ(video["width"], "176");
  EXPECT_EQ(video["height"], "144");
  EXPECT_EQ(video["nb_frames"], "50");
  EXPECT_EQ(video["duration"], "2.000000");
  auto audio = Probe(f, "a", "stream=codec_name,sample_rate,channels,duration");
  EXPECT_EQ(audio["codec_name"], "aac");
  EXPECT_EQ(audio["sample_rate"], "8000");
  EXPECT_EQ(audio["channels"], "1");
  EXPECT_EQ(audio["duration"], "2.000000");
  auto subtitle = Probe(f, "s", "stream=codec_name,nb_read_packets");
  EXPECT_EQ(subtitle["codec_name"], "mov_text");
  EXPECT_EQ(subtitle["nb_read_packets"], "2");
  EXPECT_EQ(SubtitlesAsSrt(f),
            "1\n00:00:00,000 --> 00:00:01,000\n2026/03/05  10:15:30\n\n"
            "2\n00:00:01,000 --> 00:00:02,000\n2026/03/05  10:15:31\n\n");

  // Not re-encoded: the packets are the pictures given, and key pictures
  // are the sync samples.
  EXPECT_TRUE(Extract(f, "0:v", {"-c", "copy", "-f", "data"}) == given);
  const std::vector<std::string> packets = ProbePackets(f, "v", "flags");
  ASSERT_EQ(packets.size(), 50u);
  for (std::size_t k = 0; k < packets.size(); ++k) EXPECT_EQ(packets[k][0] == 'K', k % 25 == 0) << k;
  EXPECT_EQ(DecodeErrors(f), "");
}

TEST(Mp4ClipWriter, CopiedJpegClipIsMjpegWithoutSoundTrack) {
  TempDir dir;
  std::vector<uint8_t> bgr(kClipWidth * kClipHeight * 3);
  Mp4ClipWriter writer;
  std::string error, given;
  ASSERT_TRUE(writer.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::JpegCopy, false), &error)) << error;
  for (uint32_t k = 0; k < 10; ++k) {
    for (std::size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>(i * 3 + k * 20);
    const Bytes jpeg = EncodeJpegPicture(bgr.data(), kClipWidth, kClipHeight, 80);
    given.append(jpeg.begin(), jpeg.end());
    ASSERT_TRUE(writer.AddPicture(jpeg.data(), jpeg.size(), 5000 + k * 100, k == 0));
  }
  EXPECT_FALSE(writer.AddSound(nullptr, 0, 0));
  ASSERT_TRUE(writer.Finish(&error)) << error;
  const std::string f = writer.path();
  auto video = Probe(f, "v", "stream=codec_name,width,height,nb_frames,duration");
  EXPECT_EQ(video["codec_name"], "mjpeg");
  EXPECT_EQ(video["width"], "176");
  EXPECT_EQ(video["nb_frames"], "10");
  EXPECT_EQ(video["duration"], "1.000000");
  EXPECT_TRUE(Probe(f, "a", "stream=codec_name").empty());
  EXPECT_EQ(Probe(f, "s", "stream=nb_read_packets")["nb_read_packets"], "1");
  EXPECT_TRUE(Extract(f, "0:v", {"-c", "copy", "-f", "data"}) == given);
  EXPECT_EQ(DecodeErrors(f), "");
}

TEST(Mp4ClipWriter, PictureTimesFollowTheRecordedTimes) {
  struct Case {
    std::vector<uint32_t> times;
    std::vector<std::string> pts;  // as ffprobe prints them
    std::string duration;
    std::string cues;
  };
  const Case cases[] = {
      // Times count from the first picture; one that does not advance goes
      // 1 ms after the one before; the last lasts as long as the interval
      // before it.
      {{7000, 7040, 7040, 7120}, {"0.000000", "0.040000", "0.041000", "0.120000"}, "0.199000", "1"},
      // A long pause before the last picture does not stretch it past a
      // second.
      {{0, 40, 5000}, {"0.000000", "0.040000", "5.000000"}, "6.000000", "6"},
      {{123}, {"0.000000"}, "0.040000", "1"},
      // The recorded clock set back goes on with the spacing it had.
      {{10000, 10040, 5000, 5040}, {"0.000000", "0.040000", "0.080000", "0.120000"}, "0.160000", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.duration);
    TempDir dir;
    const std::string f = CopyClip(dir.path(), c.times, ClipSettings(Mp4VideoCodec::Mpeg4Copy, false));
    EXPECT_EQ(ProbePackets(f, "v", "pts_time"), c.pts);
    EXPECT_EQ(Probe(f, "", "format=duration")["duration"], c.duration);
    EXPECT_EQ(Probe(f, "s", "stream=nb_read_packets")["nb_read_packets"], c.cues);
    EXPECT_EQ(DecodeErrors(f), "");
  }
}

TEST(Mp4ClipWriter, ClockCuesChangeWithTheRecordedSecond) {
  TempDir dir;
  // Starting 750 ms into a second, the first cue lasts 250 ms; the last is
  // cut at the clip's end. The date rolls over with the clock.
  const std::string f = CopyClip(dir.path(), Every40Ms(50),
                                 ClipSettings(Mp4VideoCodec::Mpeg4Copy, false, At(2025, 12, 31, 23, 59, 58, 750)));
  EXPECT_EQ(SubtitlesAsSrt(f),
            "1\n00:00:00,000 --> 00:00:00,250\n2025/12/31  23:59:58\n\n"
            "2\n00:00:00,250 --> 00:00:01,250\n2025/12/31  23:59:59\n\n"
            "3\n00:00:01,250 --> 00:00:02,000\n2026/01/01  00:00:00\n\n");
  EXPECT_EQ(Probe(f, "s", "stream=nb_read_packets")["nb_read_packets"], "3");
  EXPECT_EQ(Probe(f, "", "format=duration")["duration"], "2.000000");
}

TEST(Mp4ClipWriter, CreationTimeIsTheRecordedLocalTimeInUtc) {
  EXPECT_EQ(Mp4CreationTime(At(2026, 3, 5, 10, 15, 30, 250)), "2026-03-05T10:15:30.250000Z");
  EXPECT_EQ(Mp4CreationTime(At(2026, 2, 31, 10, 15, 30, 0)), "");
  EXPECT_EQ(Mp4CreationTime(SYSTEMTIME{}), "");
  // Two hours east of UTC, and back to the zone the tests run in.
  ASSERT_EQ(setenv("TZ", "XYZ-2", 1), 0);
  tzset();
  const std::string east = Mp4CreationTime(At(2026, 1, 1, 1, 0, 0, 0));
  ASSERT_EQ(setenv("TZ", "UTC", 1), 0);
  tzset();
  EXPECT_EQ(east, "2025-12-31T23:00:00.000000Z");
}

TEST(Mp4ClipWriter, NeverReplacesAFile) {
  TempDir dir;
  WriteBytes(dir.File("clip.mp4"), {1, 2, 3});
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, 2);
  Mp4ClipWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, false), &error)) << error;
  EXPECT_EQ(writer.path(), dir.File("clip_2.mp4"));
  for (uint32_t k = 0; k < 2; ++k)
    ASSERT_TRUE(writer.AddPicture(pictures[k].data.data(), pictures[k].data.size(), k * 40, pictures[k].key));
  // A name taken while the clip is written is skipped as well.
  WriteBytes(dir.File("clip_2.mp4"), {4, 5});
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(writer.path(), dir.File("clip_3.mp4"));
  EXPECT_EQ(ReadBytes(dir.File("clip.mp4")), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadBytes(dir.File("clip_2.mp4")), (Bytes{4, 5}));
  EXPECT_EQ(ListFolder(dir.path()).size(), 3u);
}

TEST(Mp4ClipWriter, RefusedPicturesLeaveTheClipGoing) {
  TempDir dir;
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, 3, 2);
  Mp4ClipWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, false), &error)) << error;
  const CodedPicture& key = pictures[0];
  const CodedPicture& predicted = pictures[1];
  EXPECT_FALSE(writer.AddPicture(predicted.data.data(), predicted.data.size(), 0, false));
  EXPECT_FALSE(writer.AddPicture(key.data.data(), key.data.size(), 0, false));
  // A key picture without its stream headers gives the file no decoder
  // configuration.
  std::size_t vop = 0;
  while (vop + 3 < key.data.size() && !(key.data[vop + 2] == 1 && key.data[vop + 3] == 0xB6)) ++vop;
  const Bytes bare(key.data.begin() + static_cast<std::ptrdiff_t>(vop), key.data.end());
  EXPECT_FALSE(writer.AddPicture(bare.data(), bare.size(), 0, true));
  EXPECT_FALSE(writer.AddPicture(nullptr, 0, 0, true));
  const Bytes bgr(kClipWidth * kClipHeight * 3);
  EXPECT_FALSE(writer.AddRawPicture(bgr.data(), 0));
  EXPECT_FALSE(writer.error().empty());
  EXPECT_EQ(writer.picturesWritten(), 0u);
  ASSERT_TRUE(writer.AddPicture(key.data.data(), key.data.size(), 40, true));
  ASSERT_TRUE(writer.AddPicture(predicted.data.data(), predicted.data.size(), 80, false));
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(Probe(writer.path(), "v", "stream=nb_frames")["nb_frames"], "2");
}

TEST(Mp4ClipWriter, UnfinishedClipsLeaveNoFile) {
  TempDir dir;
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, 3);
  auto fill = [&](Mp4ClipWriter& w) {
    std::string error;
    ASSERT_TRUE(w.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, true), &error)) << error;
    for (uint32_t k = 0; k < 3; ++k)
      ASSERT_TRUE(w.AddPicture(pictures[k].data.data(), pictures[k].data.size(), k * 40, pictures[k].key));
  };
  {
    Mp4ClipWriter aborted;
    fill(aborted);
    aborted.Abort();
    EXPECT_TRUE(aborted.path().empty());
    EXPECT_TRUE(ListFolder(dir.path()).empty());
    Mp4ClipWriter dropped;
    fill(dropped);
  }
  EXPECT_TRUE(ListFolder(dir.path()).empty());

  Mp4ClipWriter empty;
  std::string error;
  ASSERT_TRUE(empty.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, false), &error));
  EXPECT_FALSE(empty.Finish(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(empty.Open(dir.File("missing"), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, false), &error));
  EXPECT_TRUE(ListFolder(dir.path()).empty());
}

// A disc that fills up: writes beyond a small file size fail.
TEST(Mp4ClipWriter, AFailedWriteIsReportedAndLeavesNoFile) {
  TempDir dir;
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, 100);
  Mp4ClipWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, false), &error)) << error;
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 20000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (uint32_t k = 0; k < pictures.size(); ++k)
    writer.AddPicture(pictures[k].data.data(), pictures[k].data.size(), k * 40, pictures[k].key);
  const bool finished = writer.Finish(&error);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(finished);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(ListFolder(dir.path()).empty());
}

}  // namespace
}  // namespace tsv
