// tessarovine-cli export: the files a user hands on, read back by ffprobe
// and ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"

namespace tsv {
namespace {

using test::CommandResult;
using test::RunCli;
using test::RunProgram;
using test::TempDir;

std::string Synth(const TempDir& dir, const std::vector<std::string>& extra, const std::string& name = "r.vs4") {
  std::vector<std::string> args{"synth", "--start", "2026-03-05 10:15:30", "-o", dir.File(name)};
  args.insert(args.end(), extra.begin(), extra.end());
  const CommandResult r = RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return dir.File(name);
}

std::string Line(const std::string& out) { return out.substr(0, out.find('\n')); }

// The first picture of a video file as top-down blue-green-red bytes.
std::vector<uint8_t> FirstPicture(const TempDir& dir, const std::string& video) {
  const std::string raw = dir.File("first.bgr");
  const CommandResult r =
      RunProgram({"ffmpeg", "-v", "error", "-i", video, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr24", "-y", raw});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return test::ReadBytes(raw);
}

// Pixels that differ by more than a little within a rectangle.
int ChangedPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int x0, int y0, int x1,
                  int y1) {
  int changed = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
      if (std::abs(a[at] - b[at]) + std::abs(a[at + 1] - b[at + 1]) + std::abs(a[at + 2] - b[at + 2]) > 30) ++changed;
    }
  return changed;
}

TEST(Export, AviBesideTheRecordingWithTextBurntInOnlyWhenAsked) {
  TempDir dir;
  const std::string source = Synth(dir, {"--frames", "60", "--resolution", "2"});
  const CommandResult plain = RunCli({"export", source, "--from-frame", "1", "--to-frame", "50", "--format", "avi"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(Line(plain.out), dir.File("20260305_101530.avi"));
  const CommandResult osd =
      RunCli({"export", source, "--from-frame", "1", "--to-frame", "50", "--format", "avi", "--osd"});
  ASSERT_EQ(osd.exitCode, 0) << osd.err;
  EXPECT_EQ(Line(osd.out), dir.File("20260305_101530_2.avi")) << "the first file is kept";

  const CommandResult probe = RunProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                          "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of",
                                          "default=noprint_wrappers=1", Line(osd.out)});
  EXPECT_EQ(probe.out, "codec_name=rawvideo\nwidth=352\nheight=288\nr_frame_rate=25/1\nnb_read_frames=50\n");

  const auto a = FirstPicture(dir, Line(plain.out));
  const auto b = FirstPicture(dir, Line(osd.out));
  ASSERT_EQ(a.size(), 352u * 288 * 3);
  ASSERT_EQ(b.size(), a.size());
  EXPECT_GT(ChangedPixels(a, b, 352, 10, 10, 200, 28), 50) << "date and time at the top left";
  EXPECT_GT(ChangedPixels(a, b, 352, 7, 268, 80, 286), 20) << "the size label at the bottom left";
  EXPECT_EQ(ChangedPixels(a, b, 352, 200, 100, 352, 250), 0) << "nothing else changes";
}

TEST(Export, RecordingToTheChosenFolderAndRefusals) {
  TempDir dir;
  const std::string source = Synth(dir, {"--frames", "30", "--resolution", "2", "--audio"});
  std::filesystem::create_directory(dir.File("out"));
  const CommandResult r =
      RunCli({"export", source, "--from-frame", "5", "--to-frame", "20", "--format", "vs4", "-o", dir.File("out")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const CommandResult info = RunCli({"info", Line(r.out), "--json"});
  EXPECT_NE(info.out.find("\"index_count\": 16"), std::string::npos) << info.out;

  EXPECT_EQ(RunCli({"export", source, "--from-frame", "5", "--to-frame", "999", "--format", "avi"}).exitCode, 1);
  EXPECT_EQ(RunCli({"export", source, "--from-frame", "5", "--to-frame", "9", "--format", "mkv"}).exitCode, 2);
}

}  // namespace
}  // namespace tsv
