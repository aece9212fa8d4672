// The recording date of a file as the record list asks for it: the first
// frame's time, read without opening a player.
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/RecordingBuilder.h"
#include "formats/StartTimeQuery.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

std::vector<uint8_t> Vsx(uint32_t magic, uint32_t firstTag) {
  VsxBuilder b;
  b.header.magic = magic;
  FrameInfo f = SampleFrameInfo(1);
  f.formatTag = firstTag;
  b.Add(f, TaggedPacket(90, 1), kVsxKeyFrame);
  b.AddFrames({kVsxPredictedFrame});
  return b.Bytes();
}

std::vector<uint8_t> Qrv(std::optional<uint32_t> frameTime, uint16_t headerTerminator = 0xFFFF,
                         uint16_t frameTerminator = 0xFFFF) {
  QrvBuilder b;
  b.header.startTimestamp = Time(2005, 3, 5, 10, 15, 30, 250, 6);
  b.header.startTime = 50000;
  b.terminator = headerTerminator;
  QrvFrameHeader f = SampleQrvFrame(1, frameTime.value_or(0));
  if (!frameTime) f.flags &= ~kQrvHasFrameTime;
  uint8_t h[kQrvFrameHeaderMaxSize];
  const std::size_t n = SerializeQrvFrameHeader(f, h);
  PutU16LE(h + n - 2, frameTerminator);
  b.AddRaw(std::vector<uint8_t>(h, h + n), {}, kQrvKeyFrameAlt);
  return b.Bytes();
}

TEST(StartTime, FirstFrameTimeOfEachLayout) {
  UseUtc();
  const SYSTEMTIME unset = Time(1999, 9, 9, 9, 9, 9, 9);
  struct Case {
    const char* name;
    std::string file;
    std::vector<uint8_t> bytes;
    std::optional<SYSTEMTIME> expected;  // none: fails, output untouched
  };
  const SYSTEMTIME first = SampleFrameInfo(1).timestamp;
  std::vector<uint8_t> shortVsx = Vsx(kMpeg4Magic, kMpeg4Magic);
  shortVsx.resize(76 + 47);
  std::vector<uint8_t> headerOnly = Qrv(53500);
  headerOnly.resize(82);
  const Case cases[] = {
      {"tag equals magic", "a.vs4", Vsx(kMpeg4Magic, kMpeg4Magic), first},
      {"tag differs from magic", "a.vs4", Vsx(kMpeg4Magic, kJpegMagic), std::nullopt},
      {"magic 0 takes any tag", "a.vs4", Vsx(0, 0x5555), first},
      {"JPEG magic", "a.vs4", Vsx(kJpegMagic, kJpegMagic), first},
      {"upper-case extension", "A.VS4", Vsx(kMpeg4Magic, kMpeg4Magic), first},
      {"ends inside the first frame header", "a.vs4", shortVsx, std::nullopt},
      {"frame time 3.5 s after the start", "a.vse", Qrv(53500), Time(2005, 3, 5, 10, 15, 33, 0, 6)},
      {"999 ms before the start: elapsed 998 ms", "a.vse", Qrv(49001), Time(2005, 3, 5, 10, 15, 30, 0, 6)},
      {"1001 ms before the start: elapsed 1000 ms", "a.vse", Qrv(48999), Time(2005, 3, 5, 10, 15, 31, 0, 6)},
      {"no frame time: the header's start", "b.Vse", Qrv(std::nullopt), Time(2005, 3, 5, 10, 15, 30, 250, 6)},
      {"header terminator", "a.vse", Qrv(53500, 0xFFFE), std::nullopt},
      {"frame terminator", "a.vse", Qrv(53500, 0xFFFF, 0xEFFF), std::nullopt},
      {"header only", "a.vse", headerOnly, std::nullopt},
      {"another extension", "a.avi", Vsx(kMpeg4Magic, kMpeg4Magic), std::nullopt},
      {"no extension", "vs4", Vsx(kMpeg4Magic, kMpeg4Magic), std::nullopt},
      {"a .vs4 file read as .vse", "a.vse", Vsx(kMpeg4Magic, kMpeg4Magic), std::nullopt},
      {"empty", "a.vs4", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteBytes(dir.File(c.file), c.bytes);
    SYSTEMTIME out = unset;
    EXPECT_EQ(GetRecordingStartTime(dir.File(c.file), &out), c.expected.has_value()) << c.name;
    EXPECT_EQ(FormatSystemTime(out, true), FormatSystemTime(c.expected.value_or(unset), true)) << c.name;
  }
}

TEST(StartTime, FilesThatCannotBeOpenedFail) {
  TempDir dir;
  const SYSTEMTIME unset = Time(1999, 9, 9, 9, 9, 9, 9);
  SYSTEMTIME out = unset;
  EXPECT_FALSE(GetRecordingStartTime(dir.File("missing.vs4"), &out));
  EXPECT_FALSE(GetRecordingStartTime(dir.File("missing.vse"), &out));
  std::filesystem::create_directory(dir.File("folder.vs4"));
  EXPECT_FALSE(GetRecordingStartTime(dir.File("folder.vs4"), &out));
  EXPECT_EQ(out, unset);
}

}  // namespace
}  // namespace tsv::test
