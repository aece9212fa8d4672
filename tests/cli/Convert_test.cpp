// The command-line contract of convert, find-disc and import-disc: the new
// file's path on stdout, "File Type is not correct." for a refused source,
// and the whole road from a synthesized disc image to a playable recording.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tsv {
namespace {

using test::RunCli;
using test::TempDir;

std::string Line(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(ConvertCommand, ConvertsAndRefuses) {
  TempDir dir;
  ASSERT_EQ(RunCli({"synth", "--layout", "mp4", "--frames", "6", "-o", dir.File("cam.mp4")}).exitCode, 0);
  const test::CommandResult ok = RunCli({"convert", dir.File("cam.mp4"), "-o", dir.path()});
  ASSERT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ok.out, dir.File("cam.vs4") + "\n");
  const test::CommandResult info = RunCli({"info", dir.File("cam.vs4"), "--json"});
  EXPECT_NE(info.out.find("\"frame_count\": 6"), std::string::npos) << info.out;

  std::vector<uint8_t> version2 = test::ReadBytes(dir.File("cam.mp4"));
  version2[0] = 2;
  test::WriteBytes(dir.File("v2.MP4"), version2);
  test::WriteBytes(dir.File("cam.avi"), version2);
  for (const char* name : {"v2.MP4", "cam.avi"}) {
    const test::CommandResult refused = RunCli({"convert", dir.File(name)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, dir.File(name) + ": File Type is not correct.\n");
  }
  EXPECT_EQ(RunCli({"convert"}).exitCode, 2);
}

TEST(ConvertCommand, FromDiscImageToRecording) {
  TempDir dir;
  const std::string image = dir.File("disc.img");
  ASSERT_EQ(RunCli({"synth", "--layout", "disc", "--frames", "8", "--audio", "--disc-run-sectors", "2", "--start",
                    "2026-05-06 07:08:09", "-o", image})
                .exitCode,
            0);
  const test::CommandResult none = RunCli({"find-disc", dir.File("missing"), dir.File("nothing")});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.err, "tessarovine-cli: no recorder disc found\n");
  const test::CommandResult found = RunCli({"find-disc", dir.File("missing"), image});
  EXPECT_EQ(found.exitCode, 0);
  EXPECT_EQ(found.out, image + "\n");

  const test::CommandResult copy = RunCli({"import-disc", image, "-o", dir.path()});
  ASSERT_EQ(copy.exitCode, 0) << copy.err;
  const std::string qrv = Line(copy.out);
  EXPECT_TRUE(std::regex_match(qrv, std::regex(".*/\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d\\.QRV"))) << qrv;

  const test::CommandResult converted = RunCli({"convert", qrv});
  ASSERT_EQ(converted.exitCode, 0) << converted.err;
  EXPECT_EQ(converted.out, dir.File("20260506_070809.vs4") + "\n");
  const test::CommandResult decoded =
      RunCli({"decode", dir.File("20260506_070809.vs4"), "--frame", "6", "-o", dir.File("f.png")});
  EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
}

}  // namespace
}  // namespace tsv
