// Re-encoded MP4 clips of streams whose predicted pictures all refer to the
// key picture: a standard decoder shows what our decoder shows, while the
// same stream copied drifts away from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "media/Mp4ClipTestSupport.h"
#include "media/Mp4ClipWriter.h"
#include "media/VideoDecoder.h"

namespace tsv {
namespace {

using namespace test;

constexpr std::size_t kRow = kClipWidth * 3;
constexpr std::size_t kPictureBytes = kRow * kClipHeight;

// Our decoder's pictures: BGR, bottom row first.
std::vector<Bytes> DecodeOurselves(const std::vector<CodedPicture>& pictures, uint32_t mode) {
  VideoDecoderSlot slot;
  EXPECT_TRUE(CreateMpeg4Decoder(slot));
  EXPECT_TRUE(ReopenMpeg4Decoder(slot, kClipWidth, kClipHeight, mode));
  std::vector<Bytes> out;
  for (const CodedPicture& p : pictures) {
    Bytes bgr(kPictureBytes);
    EXPECT_TRUE(
        DecodeMpeg4Picture(slot, p.data.data(), p.data.size(), 1, 0, kClipWidth, kClipHeight, bgr.data(), bgr.size()));
    out.push_back(std::move(bgr));
  }
  return out;
}

// ffmpeg's pictures of a clip, turned bottom row first.
std::vector<Bytes> DecodeWithFfmpeg(const std::string& path) {
  const std::string raw = Extract(path, "0:v", {"-f", "rawvideo", "-pix_fmt", "bgr24"});
  std::vector<Bytes> out;
  for (std::size_t at = 0; at + kPictureBytes <= raw.size(); at += kPictureBytes) {
    Bytes bgr(kPictureBytes);
    for (int y = 0; y < kClipHeight; ++y)
      std::memcpy(bgr.data() + (kClipHeight - 1 - y) * kRow, raw.data() + at + y * kRow, kRow);
    out.push_back(std::move(bgr));
  }
  return out;
}

double MeanAbsDifference(const Bytes& a, const Bytes& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
  return sum / double(a.size());
}

TEST(Mp4ClipEncode, KeyReferencedStreamPlaysInStandardDecodersAsInOurs) {
  TempDir dir;
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(1, 50);
  const std::vector<Bytes> ours = DecodeOurselves(pictures, 1);
  std::string error;
  Mp4ClipWriter encoded, copied;
  ASSERT_TRUE(encoded.Open(dir.path(), "encoded", ClipSettings(Mp4VideoCodec::Mpeg4Encode, true), &error)) << error;
  ASSERT_TRUE(copied.Open(dir.path(), "copied", ClipSettings(Mp4VideoCodec::Mpeg4Copy, false), &error)) << error;
  const std::vector<int16_t> sound(8000, 500);
  ASSERT_TRUE(encoded.AddSound(sound.data(), sound.size(), 0));
  for (uint32_t k = 0; k < pictures.size(); ++k) {
    ASSERT_TRUE(encoded.AddRawPicture(ours[k].data(), k * 40));
    ASSERT_TRUE(copied.AddPicture(pictures[k].data.data(), pictures[k].data.size(), k * 40, pictures[k].key));
  }
  EXPECT_FALSE(encoded.AddPicture(pictures[0].data.data(), pictures[0].data.size(), 2000, true));
  ASSERT_TRUE(encoded.Finish(&error)) << error;
  ASSERT_TRUE(copied.Finish(&error)) << error;

  const std::string f = encoded.path();
  auto video = Probe(f, "v", "stream=codec_name,width,height,nb_frames,duration");
  EXPECT_EQ(video["codec_name"], "mpeg4");
  EXPECT_EQ(video["width"], "176");
  EXPECT_EQ(video["nb_frames"], "50");
  EXPECT_EQ(video["duration"], "2.000000");
  EXPECT_EQ(Probe(f, "a", "stream=codec_name")["codec_name"], "aac");
  EXPECT_EQ(ProbePackets(f, "v", "pts_time")[49], "1.960000");
  const std::vector<std::string> flags = ProbePackets(f, "v", "flags");
  EXPECT_EQ(std::count_if(flags.begin(), flags.end(), [](const std::string& x) { return x[0] == 'K'; }), 2);
  EXPECT_EQ(DecodeErrors(f), "");

  const std::vector<Bytes> fromEncoded = DecodeWithFfmpeg(f);
  const std::vector<Bytes> fromCopied = DecodeWithFfmpeg(copied.path());
  ASSERT_EQ(fromEncoded.size(), 50u);
  ASSERT_EQ(fromCopied.size(), 50u);
  double worstEncoded = 0, worstCopied = 0;
  for (std::size_t k = 0; k < ours.size(); ++k) {
    worstEncoded = std::max(worstEncoded, MeanAbsDifference(fromEncoded[k], ours[k]));
    worstCopied = std::max(worstCopied, MeanAbsDifference(fromCopied[k], ours[k]));
  }
  // Colour conversion and the encoder's loss cost a level or two; the
  // copied stream piles every predicted picture onto the one before.
  EXPECT_LT(worstEncoded, 3.0);
  EXPECT_GT(worstCopied, 15.0);
  // The copied key pictures themselves are close: the drift comes after.
  EXPECT_LT(MeanAbsDifference(fromCopied[25], ours[25]), 8.0);
}

}  // namespace
}  // namespace tsv
