// tessarovine-cli synth: the command line, its exit statuses and the files
// it leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/QrvLayout.h"
#include "formats/VsxLayout.h"
#include "platform/ByteIO.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

using test::RunCli;
using test::TempDir;

int Lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(SynthCommand, UsageErrors) {
  TempDir dir;
  const std::string out = dir.File("x.vs4");
  const std::vector<std::vector<std::string>> cases = {
      {"synth"},                                                // no output
      {"synth", "-o"},                                          // no value
      {"synth", "--bogus", "-o", out},
      {"synth", "--layout", "avi", "-o", out},
      {"synth", "--frames", "0", "-o", out},
      {"synth", "--frames", "12x", "-o", out},
      {"synth", "--rate", "101", "-o", out},
      {"synth", "--ip", "10.1.2", "-o", out},
      {"synth", "--ip", "10.1.2.256", "-o", out},
      {"synth", "--start", "2026-13-01 00:00:00", "-o", out},
      {"synth", "--resolution", "6", "-o", out},                // no .vs4 picture size
      {"synth", "--layout", "qrv", "--resolution", "12", "-o", out},
      {"synth", "--stream-type", "2", "-o", out},               // a .vse option
      {"synth", "--layout", "qrv", "--stream-type", "0", "--codec", "mpeg4", "-o", out},
      {"synth", "--layout", "qrv", "--stream-type", "2", "--mode", "0", "-o", out},
      {"synth", "--layout", "qrv", "--stream-type", "6", "--codec", "jpeg", "-o", out},
      {"synth", "--bare-jpeg", "-o", out},
      {"synth", "--codec", "jpeg", "--mode", "0", "-o", out},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    const test::CommandResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << joined;
    EXPECT_FALSE(r.err.empty()) << joined;
    EXPECT_TRUE(r.out.empty()) << joined;
  }
  EXPECT_TRUE(test::ListFolder(dir.path()).empty());
}

TEST(SynthCommand, WritesOnceAndRefusesToReplace) {
  TempDir dir;
  const std::string out = dir.File("demo.vs4");
  const std::vector<std::string> args = {"synth", "--layout", "vsx", "--frames", "30", "--rate", "25",
                                         "--key-interval", "25", "--resolution", "12", "--audio",
                                         "--start", "2026-03-05 10:15:30", "-o", out};
  const test::CommandResult first = RunCli(args);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out, out + "\n");
  const std::vector<uint8_t> bytes = test::ReadBytes(out);
  ASSERT_GE(bytes.size(), kVsxHeaderSize);
  const VsxFileHeader h = ParseVsxFileHeader(bytes.data());
  EXPECT_EQ(h.resolutionCode, 12);
  EXPECT_EQ(h.fileTimestamp, *ParseSystemTime("2026-03-05 10:15:30"));
  EXPECT_EQ(h.frameCount, 30u + 10u);  // 1.2 s of sound in 128 ms frames
  EXPECT_EQ(h.sourceFormat, 0);

  const test::CommandResult second = RunCli(args);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(Lines(second.err), 1) << second.err;
  EXPECT_NE(second.err.find("exists"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(out), bytes);
  EXPECT_EQ(test::ListFolder(dir.path()), (std::vector<std::string>{"demo.vs4"}));
}

TEST(SynthCommand, QrvStreamTypeFollowsTheOtherOptions) {
  struct Case {
    std::vector<std::string> options;
    uint8_t streamType;
  };
  const Case cases[] = {
      {{}, 2},
      {{"--codec", "jpeg"}, 0},
      {{"--mode", "0"}, 1},
      {{"--sound-only"}, 6},
      {{"--stream-type", "5", "--mode", "1"}, 5},
      {{"--stream-type", "3", "--codec", "jpeg", "--bare-jpeg"}, 3},
  };
  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    const std::string out = dir.File("t" + std::to_string(n++) + ".vse");
    std::vector<std::string> args = {"synth", "--layout", "qrv", "--frames", "2", "--ip", "10.1.2.3",
                                     "--record-style", "4", "--channel", "2"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"-o", out});
    const test::CommandResult r = RunCli(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<uint8_t> bytes = test::ReadBytes(out);
    ASSERT_GE(bytes.size(), kQrvFirstFrameOffset);
    const QrvFileHeader h = ParseQrvFileHeader(bytes.data());
    EXPECT_EQ(h.streamType, c.streamType) << out;
    EXPECT_EQ(h.recordStyle, 4);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 52, bytes.begin() + 56), (std::vector<uint8_t>{10, 1, 2, 3}));
  }
}

TEST(SynthCommand, ModeZeroMarksTheFileConverted) {
  TempDir dir;
  const std::string out = dir.File("chain.vs4");
  const test::CommandResult r = RunCli({"synth", "--mode", "0", "--frames", "3", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<uint8_t> bytes = test::ReadBytes(out);
  ASSERT_GE(bytes.size(), kVsxHeaderSize);
  EXPECT_EQ(ParseVsxFileHeader(bytes.data()).sourceFormat, kVsxConvertedFromQrv);
}

}  // namespace
}  // namespace tsv
