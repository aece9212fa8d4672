// Recorder discs, as image files: the signature, the directory in the last
// sector, runs copied in directory order, short discs, empty directories,
// stopping, and a synthesized disc that converts like its stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/DiscImporter.h"
#include "formats/StreamTestSupport.h"
#include "support/TestSupport.h"
#include "synth/Synthesizer.h"

namespace tsv {
namespace {

using test::ReadBytes;
using test::TempDir;

constexpr std::size_t kSector = kOpticalSectorSize;
const SYSTEMTIME kNow = {2026, 2, 3, 4, 5, 6, 7, 8};

// A disc image: sector 0 with the signature, then the given sectors (each
// filled with its tag byte), then the directory.
std::vector<uint8_t> DiscImage(const std::vector<uint8_t>& tags, const std::vector<DiscRun>& runs,
                               uint8_t signature = 0xE0) {
  std::vector<uint8_t> image(kSector, 0);
  image[2] = 0x01;
  image[3] = signature;
  for (uint8_t tag : tags) image.insert(image.end(), kSector, tag);
  const std::vector<uint8_t> directory = SerializeDiscDirectory(runs, kSector);
  image.insert(image.end(), directory.begin(), directory.end());
  return image;
}

struct Copy {
  DiscCopyReport report;
  std::vector<int> progress;
  std::vector<uint8_t> bytes;
};

Copy CopyImage(const TempDir& dir, const std::vector<uint8_t>& image, bool stopAtOnce = false) {
  test::WriteBytes(dir.File("disc.iso"), image);
  Copy c;
  std::atomic<bool> stop{stopAtOnce};
  c.report = CopyRecorderDisc(dir.File("disc.iso"), dir.path(), kNow, stop, [&](int p) { c.progress.push_back(p); });
  if (c.report.status == DiscCopyStatus::Done) c.bytes = ReadBytes(c.report.copyPath);
  return c;
}

TEST(DiscImporter, CopiesRunsInDirectoryOrder) {
  struct Case {
    const char* what;
    std::vector<uint8_t> tags;  // sectors 1..N of the image; N + 1 is the directory
    std::vector<DiscRun> runs;
    std::vector<uint32_t> copied;  // image sectors the copy holds, in order
    uint64_t beyondEnd;
  };
  const Case cases[] = {
      {"two runs, the second one first on the disc", {'B', 'B', 'A', 'A', 'A'}, {{3, 3}, {1, 2}}, {3, 4, 5, 1, 2}, 0},
      {"one run", {'A', 'B'}, {{1, 2}}, {1, 2}, 0},
      {"no entries", {'A'}, {}, {}, 0},
      {"a run of no sectors", {'A'}, {{1, 0}}, {}, 0},
      {"a run past the end of the disc", {'A', 'B'}, {{2, 5}, {1, 1}}, {2, 3, 1}, 3},
      {"a run wholly beyond the disc", {'A'}, {{1, 1}, {0xFFFFFFF0u, 0xFFFFu}}, {1}, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::vector<uint8_t> image = DiscImage(c.tags, c.runs);
    std::vector<uint8_t> expected;
    for (uint32_t s : c.copied) {
      expected.insert(expected.end(), image.begin() + static_cast<long>(s * kSector),
                      image.begin() + static_cast<long>((s + 1) * kSector));
    }
    const Copy copy = CopyImage(dir, image);
    ASSERT_EQ(copy.report.status, DiscCopyStatus::Done) << copy.report.error;
    EXPECT_EQ(copy.report.copyPath, dir.File("2026_02_04_05_06_07.QRV"));
    EXPECT_TRUE(std::filesystem::exists(copy.report.copyPath));  // even when empty
    EXPECT_EQ(copy.report.sectorsBeyondEnd, c.beyondEnd);
    EXPECT_EQ(copy.report.sectorsCopied, c.copied.size());
    EXPECT_EQ(copy.bytes, expected);
    ASSERT_FALSE(copy.progress.empty());
    EXPECT_EQ(copy.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(copy.progress.begin(), copy.progress.end()));
  }
}

TEST(DiscImporter, Signature) {
  struct Case {
    std::vector<uint8_t> start;
    bool disc;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x01, 0xE0}, true},  {{0x00, 0x00, 0x01, 0xE3}, true},  {{0x00, 0x00, 0x01, 0xE4}, false},
      {{0x00, 0x00, 0x01, 0xC0}, false}, {{0x00, 0x00, 0xE0, 0x01}, false}, {{0x00, 0x01, 0x01, 0xE0}, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> sector(kSector, 0);
    std::copy(c.start.begin(), c.start.end(), sector.begin());
    EXPECT_EQ(IsRecorderDiscSector(sector.data(), sector.size()), c.disc) << int(c.start[2]) << " " << int(c.start[3]);
  }

  TempDir dir;
  test::WriteBytes(dir.File("plain.iso"), DiscImage({'A'}, {{1, 1}}, 0xC0));
  test::WriteBytes(dir.File("recorder.iso"), DiscImage({'A'}, {{1, 1}}, 0xE2));
  test::WriteBytes(dir.File("tiny.iso"), {0x00, 0x00, 0x01, 0xE0});  // less than a sector: no disc
  std::string problems;
  EXPECT_EQ(FindRecorderDisc({dir.File("missing"), dir.File("tiny.iso"), dir.File("plain.iso"),
                              dir.File("recorder.iso")},
                             &problems),
            dir.File("recorder.iso"));
  EXPECT_EQ(FindRecorderDisc({dir.File("missing"), dir.File("plain.iso")}, &problems), std::nullopt);
  EXPECT_EQ(problems, "");  // nothing unreadable, just no recorder disc

  std::atomic<bool> stop{false};
  const DiscCopyReport report = CopyRecorderDisc(dir.File("plain.iso"), dir.path(), kNow, stop, nullptr);
  EXPECT_EQ(report.status, DiscCopyStatus::NotADisc);
}

TEST(DiscImporter, RefusedDirectoriesAndStopsLeaveNoCopy) {
  TempDir dir;
  std::vector<uint8_t> image = DiscImage({'A'}, {{1, 1}});
  PutU32LE(image.data() + image.size() - kSector + 4, (kSector - kDiscDirectoryHead) / kDiscRunSize + 1);
  EXPECT_EQ(CopyImage(dir, image).report.status, DiscCopyStatus::BadDirectory);
  EXPECT_EQ(CopyImage(dir, DiscImage({'A', 'B'}, {{1, 2}}), true).report.status, DiscCopyStatus::Stopped);
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"disc.iso"});
}

TEST(DiscImporter, SynthesizedDiscHoldsTheStream) {
  TempDir dir;
  SynthOptions o;
  o.layout = SynthLayout::QrvStream;
  o.frames = 10;
  o.sound = true;
  std::string error;
  ASSERT_TRUE(Synthesize(o, dir.File("stream.QRV"), &error)) << error;
  o.layout = SynthLayout::Disc;
  o.discRunSectors = 3;
  ASSERT_TRUE(Synthesize(o, dir.File("disc.img"), &error)) << error;

  std::atomic<bool> stop{false};
  const DiscCopyReport copy = CopyRecorderDisc(dir.File("disc.img"), dir.path(), kNow, stop, nullptr);
  ASSERT_EQ(copy.status, DiscCopyStatus::Done) << copy.error;
  EXPECT_GT(copy.runs, 2u);
  // The copy is the stream, then zeros up to the end of its last sector.
  const std::vector<uint8_t> stream = ReadBytes(dir.File("stream.QRV"));
  std::vector<uint8_t> copied = ReadBytes(copy.copyPath);
  ASSERT_EQ(copied.size(), (stream.size() + kSector - 1) / kSector * kSector);
  EXPECT_TRUE(std::all_of(copied.begin() + static_cast<long>(stream.size()), copied.end(),
                          [](uint8_t b) { return b == 0; }));
  copied.resize(stream.size());
  EXPECT_EQ(copied, stream);
}

}  // namespace
}  // namespace tsv
