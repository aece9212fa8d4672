// The export writer: every picture kept, the rate measured from the
// recorded times, failures reported once and never leaving a file behind.
#include "media/AviWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <vector>

#include "media/AviTestSupport.h"
#include "support/RiffReader.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

constexpr uint16_t kW = 32, kH = 16;

// Appends numbered pictures at the given recorded times.
void AppendAt(AviWriter& writer, const std::vector<uint32_t>& times) {
  for (uint32_t t : times) {
    writer.SetCurrentTime(t);
    uint32_t started = 0;
    ASSERT_TRUE(writer.AppendFrame(test::NumberedPicture(kW, kH, writer.framesWritten()).data(), kW, kH, &started));
    ASSERT_EQ(started, writer.framesWritten() == 1 ? 1u : 0u);
  }
}

std::vector<uint32_t> Every(uint32_t stepMs, uint32_t count, uint32_t startMs = 5000) {
  std::vector<uint32_t> times;
  for (uint32_t i = 0; i < count; ++i) times.push_back(startMs + i * stepMs);
  return times;
}

TEST(AviWriter, PicturesFortyMillisecondsApartMakeTwentyFivePerSecondWithEveryPictureKept) {
  test::TempDir dir;
  AviWriter writer;
  writer.SetFileName(dir.path(), "20050305_101530");
  AppendAt(writer, Every(40, 25));
  EXPECT_EQ(writer.state(), AviWriterState::Measuring);
  AppendAt(writer, Every(40, 35, 5000 + 25 * 40));  // the 26th is one second after the first
  EXPECT_EQ(writer.state(), AviWriterState::Appending);
  EXPECT_EQ(writer.rateNumerator(), 25u);
  EXPECT_EQ(writer.rateDenominator(), 1u);
  ASSERT_TRUE(writer.Close()) << writer.error();
  EXPECT_EQ(writer.path(), dir.File("20050305_101530.avi"));
  EXPECT_EQ(writer.framesWritten(), 60u);

  auto probe = test::ProbeVideo(writer.path());
  EXPECT_EQ(probe["error"], "");
  EXPECT_EQ(probe["width"], "32");
  EXPECT_EQ(probe["height"], "16");
  EXPECT_EQ(probe["r_frame_rate"], "25/1");
  EXPECT_EQ(probe["nb_frames"], "60");
  EXPECT_EQ(probe["nb_read_packets"], "60");
  test::RiffReader riff(writer.path());
  const test::AviLayout layout = test::ReadAviLayout(riff);
  EXPECT_EQ(layout.problems, std::vector<std::string>{});
  ASSERT_EQ(layout.pictureOffsets.size(), 60u);
  for (uint32_t i = 0; i < 60; ++i) EXPECT_EQ(test::PictureNumber(riff.Read(layout.pictureOffsets[i], 6)), i);
}

TEST(AviWriter, RateIsMeasuredOverTheFirstSecondOrOverAShorterClip) {
  struct Case {
    const char* what;
    std::vector<uint32_t> times;
    uint32_t num, den;
  };
  const Case cases[] = {
      {"80 ms apart", Every(80, 20), 25, 2},
      {"sub-second clip 66 ms apart", Every(66, 10), 500, 33},
      {"one picture", {7000}, 1, 1},
      {"no time span", {7000, 7000, 7000}, 25, 1},
      {"measured up to the first picture a second on", {0, 40, 2040, 2080}, 50, 51},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    AviWriter writer;
    writer.SetFileName(dir.path(), "clip");
    AppendAt(writer, c.times);
    ASSERT_TRUE(writer.Close()) << c.what << ": " << writer.error();
    EXPECT_EQ(writer.rateNumerator(), c.num) << c.what;
    EXPECT_EQ(writer.rateDenominator(), c.den) << c.what;
    auto probe = test::ProbeVideo(writer.path());
    EXPECT_EQ(probe["r_frame_rate"], std::to_string(c.num) + "/" + std::to_string(c.den)) << c.what;
    EXPECT_EQ(probe["nb_read_packets"], std::to_string(c.times.size())) << c.what;
  }

  // Times that go back (one out of order; the stream clock starting anew)
  // leave a rate near the true 25 and every picture in the file.
  std::vector<uint32_t> outOfOrder = Every(40, 40);
  outOfOrder[10] = 100;
  std::vector<uint32_t> restart = Every(40, 11);
  for (uint32_t t : Every(40, 160, 100)) restart.push_back(t);
  for (const auto& times : {outOfOrder, restart}) {
    test::TempDir dir;
    AviWriter writer;
    writer.SetFileName(dir.path(), "clip");
    AppendAt(writer, times);
    ASSERT_TRUE(writer.Close()) << writer.error();
    const double rate = double(writer.rateNumerator()) / writer.rateDenominator();
    EXPECT_GE(rate, 24.0);
    EXPECT_LE(rate, 26.0);
    EXPECT_EQ(writer.framesWritten(), times.size());
  }
}

// Files may be at most this long while it is in force; a write past it
// fails instead of raising a signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t oldHandler_;
};

TEST(AviWriter, AFailureIsReportedOnceAndLeavesNoFile) {
  const std::vector<uint8_t> picture = test::NumberedPicture(kW, kH, 0);
  const std::vector<uint8_t> large = test::NumberedPicture(kW * 2, kH, 0);
  uint32_t started = 0;
  {
    AviWriter writer;
    writer.SetFileName("/no/such/folder", "clip");
    EXPECT_FALSE(writer.AppendFrame(picture.data(), kW, kH, &started));
    EXPECT_EQ(started, 0u);
    EXPECT_EQ(writer.state(), AviWriterState::Failed);
    EXPECT_NE(writer.error(), "");
    EXPECT_TRUE(writer.AppendFrame(picture.data(), kW, kH, &started));
    EXPECT_FALSE(writer.Close());
  }
  {
    test::TempDir dir;
    AviWriter writer;
    writer.SetFileName(dir.path(), "clip");
    ASSERT_TRUE(writer.AppendFrame(picture.data(), kW, kH, &started));
    EXPECT_FALSE(writer.AppendFrame(large.data(), kW * 2, kH, &started));
    EXPECT_TRUE(writer.AppendFrame(picture.data(), kW, kH, &started));
    EXPECT_EQ(writer.framesWritten(), 1u);
    EXPECT_FALSE(writer.Close());
    EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  }
  {
    // The disk fills up in the middle of the export.
    test::TempDir dir;
    AviWriter writer;
    writer.SetFileName(dir.path(), "clip");
    int failures = 0;
    {
      FileSizeLimit limit(40 << 10);
      for (int i = 0; i < 100; ++i) failures += !writer.AppendFrame(picture.data(), kW, kH, &started);
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(writer.state(), AviWriterState::Failed);
    EXPECT_FALSE(writer.Close());
    EXPECT_EQ(writer.path(), "");
    EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  }
  {
    // Stopped: no file at all.
    test::TempDir dir;
    AviWriter writer;
    writer.SetFileName(dir.path(), "clip");
    AppendAt(writer, Every(40, 30));
    writer.Abort();
    EXPECT_FALSE(writer.Close());
    EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  }
  {
    test::TempDir dir;
    AviWriter writer;
    writer.SetFileName(dir.path(), "clip");
    EXPECT_FALSE(writer.Close());  // nothing written
    EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace tsv
