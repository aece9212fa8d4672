// The AVI container checked by two independent readers: ffprobe / ffmpeg,
// and our own walk of the RIFF structure that follows the super index to
// the standard indexes and on to every picture chunk.
#include "media/AviFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "media/AviTestSupport.h"
#include "support/RiffReader.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

using test::AviLayout;
using test::RiffReader;

// Writes pictures numbered 0..count-1 and publishes the file.
std::string WriteNumbered(AviFile& avi, const test::TempDir& dir, uint16_t width, uint16_t height, uint32_t count) {
  EXPECT_TRUE(avi.Create(dir.path(), "clip", width, height)) << avi.error();
  for (uint32_t i = 0; i < count; ++i) EXPECT_TRUE(avi.WriteFrame(test::NumberedPicture(width, height, i).data()));
  EXPECT_TRUE(avi.Finish()) << avi.error();
  return avi.path();
}

TEST(AviFile, HeadersIndexesAndPicturesAgreeWithFfprobeAndOurReader) {
  test::TempDir dir;
  AviFile avi;
  ASSERT_TRUE(avi.Create(dir.path(), "clip", 352, 288));
  for (uint32_t i = 0; i < 30; ++i) ASSERT_TRUE(avi.WriteFrame(test::NumberedPicture(352, 288, i).data()));
  // The rate comes after the pictures and is stored reduced.
  ASSERT_TRUE(avi.SetRate(12500, 1000));
  EXPECT_FALSE(avi.SetRate(0, 1));
  ASSERT_TRUE(avi.Finish()) << avi.error();
  EXPECT_EQ(avi.path(), dir.File("clip.avi"));
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"clip.avi"});

  auto probe = test::ProbeVideo(avi.path());
  EXPECT_EQ(probe["error"], "");
  EXPECT_EQ(probe["codec_name"], "rawvideo");
  EXPECT_EQ(probe["pix_fmt"], "bgr24");
  EXPECT_EQ(probe["width"], "352");
  EXPECT_EQ(probe["height"], "288");
  EXPECT_EQ(probe["r_frame_rate"], "25/2");
  EXPECT_EQ(probe["avg_frame_rate"], "25/2");
  EXPECT_EQ(probe["nb_frames"], "30");
  EXPECT_EQ(probe["nb_read_packets"], "30");
  EXPECT_EQ(test::DecodeComplaints(avi.path()), "");
  // Upright: the first decoded row is the last one given, red first.
  const std::string top = test::DecodedFirstPicture(avi.path());
  ASSERT_EQ(top.size(), 352u * 288 * 3);
  EXPECT_EQ(top.substr(0, 3), std::string("\x00\x00\xff", 3));
  EXPECT_EQ(top.substr(std::size_t{287} * 352 * 3, 3), std::string("\xff\x00\x00", 3));

  RiffReader riff(avi.path());
  const AviLayout layout = test::ReadAviLayout(riff);
  EXPECT_EQ(layout.problems, std::vector<std::string>{});
  EXPECT_EQ(layout.usPerFrame, 80000u);
  EXPECT_EQ(layout.avihFlags & 0x10, 0x10u);
  EXPECT_EQ(layout.avihFrames, 30u);
  EXPECT_EQ(layout.streams, 1u);
  EXPECT_EQ(layout.width, 352u);
  EXPECT_EQ(layout.height, 288u);
  EXPECT_EQ(layout.streamType, "vids");
  EXPECT_EQ(layout.rate, 25u);
  EXPECT_EQ(layout.scale, 2u);
  EXPECT_EQ(layout.length, 30u);
  EXPECT_EQ(layout.quality, 0xFFFFFFFFu);
  EXPECT_EQ(layout.suggestedBuffer, 352u * 288 * 3);
  EXPECT_EQ(std::vector<int16_t>(layout.frameRect, layout.frameRect + 4), (std::vector<int16_t>{0, 0, 352, 288}));
  // clang-format off
  const std::vector<uint8_t> bitmap = {
      40, 0, 0, 0,        // header size
      0x60, 1, 0, 0,      // width 352
      0x20, 1, 0, 0,      // height 288: positive, bottom row first
      1, 0, 24, 0,        // one plane, 24 bits
      0, 0, 0, 0,         // uncompressed
      0, 0xA4, 4, 0,      // 304128 bytes
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  // clang-format on
  EXPECT_EQ(layout.bitmapHeader, bitmap);
  EXPECT_EQ(layout.streamName, "Video Stream");
  EXPECT_EQ(layout.dmlhFrames, 30u);
  EXPECT_EQ(layout.riffTypes, std::vector<std::string>{"AVI "});
  EXPECT_EQ(layout.legacyEntries, 30u);
  ASSERT_EQ(layout.pictureOffsets.size(), 30u);
  for (uint32_t i = 0; i < 30; ++i) {
    EXPECT_EQ(layout.pictureSizes[i], 352u * 288 * 3);
    EXPECT_EQ(test::PictureNumber(riff.Read(layout.pictureOffsets[i], 6)), i);
  }
}

TEST(AviFile, RowsThatAreNotWholeWordsArePaddedAndStillDecodeExactly) {
  test::TempDir dir;
  AviFile avi;
  const std::string path = WriteNumbered(avi, dir, 33, 5, 3);
  ASSERT_FALSE(path.empty());
  const std::vector<uint8_t> source = test::NumberedPicture(33, 5, 0);
  const std::string decoded = test::DecodedFirstPicture(path);
  ASSERT_EQ(decoded.size(), source.size());
  for (long row = 0; row < 5; ++row) {
    const auto bottomUp = source.begin() + (4 - row) * 99;
    EXPECT_EQ(decoded.substr(static_cast<std::size_t>(row) * 99, 99), std::string(bottomUp, bottomUp + 99))
        << "row " << row;
  }
  EXPECT_EQ(test::ProbeVideo(path)["nb_read_packets"], "3");
}

TEST(AviFile, PicturesGoOnInAvixListsPastTheLimit) {
  test::TempDir dir;
  AviFileOptions options;
  options.riffLimit = 64 << 10;
  AviFile avi(options);
  const std::string path = WriteNumbered(avi, dir, 64, 48, 40);
  ASSERT_FALSE(path.empty());

  RiffReader riff(path);
  const AviLayout layout = test::ReadAviLayout(riff);
  EXPECT_EQ(layout.problems, std::vector<std::string>{});
  ASSERT_GE(layout.riffTypes.size(), 4u);
  EXPECT_EQ(layout.riffTypes.size(), avi.riffCount());
  EXPECT_EQ(layout.riffTypes[0], "AVI ");
  for (std::size_t r = 0; r < riff.riffs().size(); ++r) {
    if (r > 0) {
      EXPECT_EQ(layout.riffTypes[r], "AVIX");
    }
    EXPECT_LE(riff.riffs()[r].size + 8u, options.riffLimit) << "RIFF " << r;
    EXPECT_GT(layout.picturesPerRiff[r], 0u);
  }
  // avih counts the first RIFF, like idx1; strh and dmlh count them all.
  EXPECT_EQ(layout.avihFrames, layout.picturesPerRiff[0]);
  EXPECT_EQ(layout.legacyEntries, layout.picturesPerRiff[0]);
  EXPECT_EQ(layout.length, 40u);
  EXPECT_EQ(layout.dmlhFrames, 40u);
  ASSERT_EQ(layout.pictureOffsets.size(), 40u);
  for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(test::PictureNumber(riff.Read(layout.pictureOffsets[i], 6)), i);

  auto probe = test::ProbeVideo(path);
  EXPECT_EQ(probe["error"], "");
  EXPECT_EQ(probe["r_frame_rate"], "25/1");
  EXPECT_EQ(probe["nb_frames"], "40");
  EXPECT_EQ(probe["nb_read_packets"], "40");
  EXPECT_EQ(test::DecodeComplaints(path), "");
}

// A scratch folder in memory where there is one: holes of a sparse file
// read back there without filling the page cache with zeros.
class HoleFriendlyFolder {
 public:
  HoleFriendlyFolder() {
    std::string pattern = "/dev/shm/tessarovine-avi-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~HoleFriendlyFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  std::string path() const { return path_.empty() ? fallback_.path() : path_; }

 private:
  test::TempDir fallback_;
  std::string path_;
};

// Black pictures left as holes make a sparse file past 4 GiB cheaply; the
// pictures, the standard index and its base beyond 4 GiB are found through
// 64-bit offsets.
TEST(AviFile, PastFourGibibytesPicturesAreFoundThroughSixtyFourBitOffsets) {
  HoleFriendlyFolder dir;
  AviFileOptions options;
  options.holesForBlackPictures = true;
  AviFile avi(options);
  constexpr uint16_t kWidth = 1920, kHeight = 1080;
  constexpr uint32_t kCount = 880;  // 6220808 bytes a picture: 5.47 GB in six RIFF lists
  ASSERT_TRUE(avi.Create(dir.path(), "big", kWidth, kHeight));
  const std::vector<uint8_t> black(std::size_t{kWidth} * kHeight * 3, 0);
  for (uint32_t i = 0; i < kCount; ++i) {
    const bool marked = i == 0 || i == 400 || i == kCount - 1;
    ASSERT_TRUE(avi.WriteFrame(marked ? test::NumberedPicture(kWidth, kHeight, i).data() : black.data()));
  }
  ASSERT_TRUE(avi.Finish()) << avi.error();

  RiffReader riff(avi.path());
  EXPECT_GT(riff.fileSize(), 4ull << 30);
  const AviLayout layout = test::ReadAviLayout(riff);
  EXPECT_EQ(layout.problems, std::vector<std::string>{});
  ASSERT_EQ(layout.riffTypes.size(), 6u);
  EXPECT_GT(riff.riffs().back().offset, 4ull << 30);  // its index's base too
  EXPECT_EQ(layout.dmlhFrames, kCount);
  ASSERT_EQ(layout.pictureOffsets.size(), kCount);
  EXPECT_GT(layout.pictureOffsets.back(), 4ull << 30);
  for (uint32_t i : {0u, 400u, kCount - 1}) EXPECT_EQ(test::PictureNumber(riff.Read(layout.pictureOffsets[i], 6)), i);
  EXPECT_EQ(riff.Read(layout.pictureOffsets[kCount - 2], 6), std::vector<uint8_t>(6, 0));

  auto probe = test::ProbeVideo(avi.path());
  EXPECT_EQ(probe["error"], "");
  EXPECT_EQ(probe["nb_frames"], std::to_string(kCount));
  EXPECT_EQ(probe["nb_read_packets"], std::to_string(kCount));
}

TEST(AviFile, OnlyAFinishedFileIsPublishedAndNeverOverAnother) {
  test::TempDir dir;
  const std::vector<uint8_t> picture = test::NumberedPicture(16, 16, 0);
  {
    // Not finished: the destructor removes the temporary file.
    AviFile avi;
    ASSERT_TRUE(avi.Create(dir.path(), "clip", 16, 16));
    ASSERT_TRUE(avi.WriteFrame(picture.data()));
    EXPECT_EQ(test::ListFolder(dir.path()).size(), 1u);
  }
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  {
    AviFile avi;
    ASSERT_TRUE(avi.Create(dir.path(), "clip", 16, 16));
    ASSERT_TRUE(avi.WriteFrame(picture.data()));
    avi.Abort();
    EXPECT_FALSE(avi.WriteFrame(picture.data()));
    EXPECT_FALSE(avi.Finish());
    EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  }
  {
    AviFile avi;
    ASSERT_TRUE(avi.Create(dir.path(), "clip", 16, 16));
    EXPECT_FALSE(avi.Finish());  // no picture
    EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  }
  AviFile missing;
  EXPECT_FALSE(missing.Create(dir.File("no/such/folder"), "clip", 16, 16));
  EXPECT_NE(missing.error(), "");

  // The name is picked when the file is complete: one taken meanwhile is
  // left alone and the next free one is used.
  test::WriteBytes(dir.File("clip.avi"), {1, 2, 3});
  AviFile avi;
  ASSERT_TRUE(avi.Create(dir.path(), "clip", 16, 16));
  ASSERT_TRUE(avi.WriteFrame(picture.data()));
  test::WriteBytes(dir.File("clip_2.avi"), {4, 5, 6});
  ASSERT_TRUE(avi.Finish()) << avi.error();
  EXPECT_EQ(avi.path(), dir.File("clip_3.avi"));
  EXPECT_EQ(test::ReadBytes(dir.File("clip.avi")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(test::ReadBytes(dir.File("clip_2.avi")), (std::vector<uint8_t>{4, 5, 6}));
  EXPECT_EQ(test::ListFolder(dir.path()), (std::vector<std::string>{"clip.avi", "clip_2.avi", "clip_3.avi"}));
  EXPECT_EQ(test::ProbeVideo(avi.path())["nb_read_packets"], "1");
}

}  // namespace
}  // namespace tsv
