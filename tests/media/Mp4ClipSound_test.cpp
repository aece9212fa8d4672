// The sound track of MP4 clips, decoded by ffmpeg: each block plays at its
// recorded time on the pictures' clock, jitter does not open gaps, real
// gaps are silent, and nothing before the first picture or after the last
// one is kept.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/Mp4ClipTestSupport.h"
#include "media/Mp4ClipWriter.h"

namespace tsv {
namespace {

using namespace test;

// A 440 Hz tone of `samples` samples at 8000 Hz.
std::vector<int16_t> Tone(std::size_t samples) {
  std::vector<int16_t> s(samples);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / 8000.0));
  return s;
}

struct SoundBlock {
  std::size_t samples;
  uint32_t timeMs;
  bool beforePictures;  // given before the first picture
};

// A clip of pictures every 40 ms from firstMs to lastMs with tone blocks;
// returns the sound as ffmpeg decodes it.
std::vector<int16_t> ClipSound(const std::vector<SoundBlock>& blocks, uint32_t firstMs, uint32_t lastMs) {
  TempDir dir;
  const uint32_t count = (lastMs - firstMs) / 40 + 1;
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, count);
  Mp4ClipWriter writer;
  std::string error;
  EXPECT_TRUE(writer.Open(dir.path(), "clip", ClipSettings(Mp4VideoCodec::Mpeg4Copy, true), &error)) << error;
  std::vector<SoundBlock> pending;
  for (const SoundBlock& b : blocks) {
    if (b.beforePictures) {
      EXPECT_TRUE(writer.AddSound(Tone(b.samples).data(), b.samples, b.timeMs));
    } else {
      pending.push_back(b);
    }
  }
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t t = firstMs + k * 40;
    // Sound comes with the picture that follows its start, as in a file.
    for (const SoundBlock& b : pending) {
      if (b.timeMs <= t && b.timeMs + 40 > t) {
        EXPECT_TRUE(writer.AddSound(Tone(b.samples).data(), b.samples, b.timeMs));
      }
    }
    EXPECT_TRUE(writer.AddPicture(pictures[k].data.data(), pictures[k].data.size(), t, pictures[k].key));
  }
  EXPECT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(DecodeErrors(writer.path()), "");
  const std::string raw = Extract(writer.path(), "0:a", {"-f", "s16le", "-ac", "1", "-ar", "8000"});
  std::vector<int16_t> pcm(raw.size() / 2);
  std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
  // The track ends with the pictures; ffmpeg still decodes the last AAC
  // frame whole.
  EXPECT_EQ(Probe(writer.path(), "a", "stream=duration")["duration"],
            Probe(writer.path(), "v", "stream=duration")["duration"]);
  const std::size_t clip = (lastMs - firstMs + 40) * 8;
  EXPECT_GE(pcm.size(), clip);
  EXPECT_LT(pcm.size(), clip + 1024);
  pcm.resize(clip);
  return pcm;
}

// Loudness of each 20 ms stretch: true where the tone plays.
std::string Loud(const std::vector<int16_t>& pcm) {
  std::string out;
  for (std::size_t at = 0; at + 160 <= pcm.size(); at += 160) {
    double sum = 0;
    for (std::size_t i = at; i < at + 160; ++i) sum += double(pcm[i]) * pcm[i];
    out += std::sqrt(sum / 160) > 2000 ? '#' : '.';
  }
  return out;
}

// `n` stretches of 20 ms of tone or silence.
std::string Stretches(char c, std::size_t n) { return std::string(n, c); }

TEST(Mp4ClipSound, BlocksPlayAtTheirTimes) {
  // 250 ms of tone at 1.0 s in a 2.0 s clip: silence around it.
  const std::vector<int16_t> pcm = ClipSound({{2000, 1000, false}}, 0, 1960);
  ASSERT_EQ(pcm.size(), 16000u);
  const std::string loud = Loud(pcm);
  SCOPED_TRACE(loud);
  EXPECT_EQ(loud.substr(0, 49), Stretches('.', 49));
  EXPECT_EQ(loud.substr(51, 11), Stretches('#', 11));
  EXPECT_EQ(loud.substr(64), Stretches('.', 36));
}

TEST(Mp4ClipSound, JitteredBlocksJoinAndRealGapsStaySilent) {
  // Three 512 ms blocks stamped up to 30 ms off run on without a break; a
  // block 400 ms after the sound's end leaves that much silence.
  const std::vector<int16_t> pcm =
      ClipSound({{4096, 0, false}, {4096, 542, false}, {4096, 1000, false}, {1600, 1936 + 400, false}}, 0, 2960);
  ASSERT_EQ(pcm.size(), 24000u);
  const std::string loud = Loud(pcm);
  SCOPED_TRACE(loud);
  EXPECT_EQ(loud.substr(1, 75), Stretches('#', 75));
  EXPECT_EQ(loud.substr(78, 37), Stretches('.', 37));
  EXPECT_EQ(loud.substr(118, 8), Stretches('#', 8));
  EXPECT_EQ(loud.substr(128), Stretches('.', 22));
}

TEST(Mp4ClipSound, NothingBeforeTheFirstPictureOrAfterTheLast) {
  // One second of tone given before any picture, from 500 ms before the
  // first one: its second half opens the clip. Sound running past the
  // last picture is cut with the pictures.
  const std::vector<int16_t> pcm = ClipSound({{8000, 4500, true}, {16000, 5800, false}}, 5000, 6960);
  ASSERT_EQ(pcm.size(), 16000u);
  const std::string loud = Loud(pcm);
  SCOPED_TRACE(loud);
  EXPECT_EQ(loud.substr(0, 24), Stretches('#', 24));
  EXPECT_EQ(loud.substr(26, 13), Stretches('.', 13));
  EXPECT_EQ(loud.substr(41), Stretches('#', 59));
}

}  // namespace
}  // namespace tsv
