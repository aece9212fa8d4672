// Segments: a stretch of a recording written into a new recording of the
// same layout, with the source's header (frame count replaced), the frames
// renumbered from 1, a new index and the count. Checked byte for byte, by
// reading the segment back, and for the names it gets.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "formats/RecordingBuilder.h"
#include "formats/StartTimeQuery.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t length) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                              bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
}

// A source file opened by a reader, and an empty output folder.
template <typename Reader>
struct Source {
  TempDir dir;
  TempDir out;
  RecordingSink sink;
  Reader reader{sink};
  std::vector<uint8_t> bytes;

  explicit Source(std::vector<uint8_t> fileBytes, const char* name) : bytes(std::move(fileBytes)) {
    UseUtc();
    WriteBytes(dir.File(name), bytes);
    EXPECT_TRUE(reader.OpenFileToGetDecoder(dir.File(name), nullptr));
    reader.state().snapshotFolder = out.path();
    reader.SeekFilePointToBeginFrame();
  }

  // Reads the next frame into slot and starts a segment with it.
  std::unique_ptr<SegmentOutput> StartWithNext(uint32_t slot) {
    EXPECT_TRUE(reader.ReadCurrentFrameInfo(slot, 0));
    auto segment = reader.CreateVsxFileAndFormat(slot);
    if (segment) {
      EXPECT_EQ(reader.WriteVsxCurrentFrame(segment.get(), reader.FrameSlot(slot), reader.GetCurrentFrameSize(slot),
                                            slot, reader.GetCurrentFrameIndex(slot), 0),
                1u);
    }
    return segment;
  }

  // Reads the next frame into slot and writes it as the next segment frame.
  uint32_t CopyNext(SegmentOutput* segment, uint32_t slot, uint32_t written) {
    EXPECT_TRUE(reader.ReadCurrentFrameInfo(slot, 0));
    const uint32_t number = reader.GetCurrentFrameIndex(slot);
    return reader.WriteVsxCurrentFrame(segment, reader.FrameSlot(slot), reader.GetCurrentFrameSize(slot), slot,
                                       number, written);
  }
};

TEST(SegmentWriter, OneFrameVsxSegmentByteForByte) {
  VsxBuilder b;
  b.AddFrames({kVsxKeyFrame, kVsxPredictedFrame, kVsxPredictedFrame});
  Source<CVsxFile> s(b.Bytes(), "src.vs4");
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(6, 0));
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(7, 0));

  auto segment = s.reader.CreateVsxFileAndFormat(7);
  ASSERT_NE(segment, nullptr);
  EXPECT_EQ(s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(7), s.reader.GetCurrentFrameSize(7), 7,
                                          2, 0),
            1u);
  EXPECT_EQ(s.reader.GetCurrentFrameIndex(7), 1u);  // the slot's record is renumbered too
  ASSERT_TRUE(s.reader.EndOfVsxFile(segment.get(), 1));
  EXPECT_EQ(segment->path(), s.out.File("20050305_101530.vs4"));

  // Header as read from the source with the frame count 1, frame 2's header
  // (number 1) and payload at 76, one index entry of the source's type, 1.
  const uint32_t frame2 = b.index[1].offset;
  const std::size_t payload = b.payloads[1].size();
  std::vector<uint8_t> expected = Slice(s.bytes, 0, 76);
  PutU32LE(&expected[0], 1);
  std::vector<uint8_t> frame = Slice(s.bytes, frame2, 48 + payload);
  PutU32LE(&frame[0], 1);
  Append(expected, frame);
  AppendU32(expected, 76);
  AppendU32(expected, kVsxPredictedFrame);
  AppendU32(expected, 1);
  EXPECT_EQ(ReadBytes(segment->path()), expected);
  EXPECT_EQ(ListFolder(s.out.path()), std::vector<std::string>{"20050305_101530.vs4"});
}

TEST(SegmentWriter, OneFrameQrvSegmentByteForByte) {
  QrvBuilder b;
  b.AddFrames({kQrvKeyFrameAlt, kQrvPredictedFrame, kQrvPredictedFrame});
  Source<CZKQRV> s(b.Bytes(), "src.vse");
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(1, 0));

  auto segment = s.reader.CreateVsxFileAndFormat(1);
  ASSERT_NE(segment, nullptr);
  EXPECT_EQ(s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(1), s.reader.GetCurrentFrameSize(1), 1,
                                          2, 0),
            1u);
  ASSERT_TRUE(s.reader.EndOfVsxFile(segment.get(), 1));
  EXPECT_EQ(segment->path(), s.out.File("20050305_101530.vse"));

  // Header with the frame count (offset 48) 1, its terminator, frame 2's
  // header (number 1) and payload at 82, the index entry, 1.
  std::vector<uint8_t> expected = Slice(s.bytes, 0, 82);
  PutU32LE(&expected[48], 1);
  std::vector<uint8_t> frame = b.frames[1];
  PutU32LE(&frame[4], 1);
  Append(expected, frame);
  AppendU32(expected, 82);
  AppendU32(expected, kQrvPredictedFrame);
  AppendU32(expected, 1);
  EXPECT_EQ(ReadBytes(segment->path()), expected);
}

TEST(SegmentWriter, SegmentsNeverReplaceAFile) {
  VsxBuilder b;
  b.AddFrames({kVsxKeyFrame, kVsxPredictedFrame, kVsxPredictedFrame});
  Source<CVsxFile> s(b.Bytes(), "src.vs4");
  WriteBytes(s.out.File("20050305_101530.vs4"), {'k', 'e', 'e', 'p'});

  std::vector<std::string> paths;
  for (int round = 0; round < 2; ++round) {
    s.reader.SeekFilePointToBeginFrame();
    auto segment = s.StartWithNext(0);
    ASSERT_NE(segment, nullptr);
    ASSERT_EQ(s.CopyNext(segment.get(), 1, 1), 2u);
    ASSERT_TRUE(s.reader.EndOfVsxFile(segment.get(), 2));
    paths.push_back(segment->path());
  }
  EXPECT_EQ(paths, (std::vector<std::string>{s.out.File("20050305_101530_2.vs4"),
                                             s.out.File("20050305_101530_3.vs4")}));
  EXPECT_EQ(ReadBytes(s.out.File("20050305_101530.vs4")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  // The second segment starts its index afresh: both files are the same.
  EXPECT_EQ(ReadBytes(paths[0]), ReadBytes(paths[1]));
  EXPECT_EQ(ListFolder(s.out.path()).size(), 3u);  // no temporary file is left
}

TEST(SegmentWriter, QrvSegmentNameFromTheFirstFramesTime) {
  struct Case {
    bool withTime;
    uint32_t frameTime;
    const char* name;
  };
  const Case cases[] = {
      {true, 53500, "20050305_101533.vse"},   // 3.5 s after the start
      {true, 49000, "20050305_101530.vse"},   // before the start: 999 ms
      {false, 0, "20050305_101530.vse"},      // no time: the header's start
  };
  for (const Case& c : cases) {
    QrvBuilder b;
    QrvFrameHeader f = SampleQrvFrame(1, c.frameTime);
    if (!c.withTime) f.flags &= ~kQrvHasFrameTime;
    b.Add(f, TaggedPacket(90, 1), kQrvKeyFrameAlt);
    Source<CZKQRV> s(b.Bytes(), "src.vse");
    auto segment = s.StartWithNext(3);
    ASSERT_NE(segment, nullptr);
    ASSERT_TRUE(s.reader.EndOfVsxFile(segment.get(), 1));
    EXPECT_EQ(segment->path(), s.out.File(c.name));
  }
}

TEST(SegmentWriter, MoreFramesThanTheSourceIndexHoldsAreRefused) {
  VsxBuilder b;
  b.AddFrames({kVsxKeyFrame, kVsxPredictedFrame});
  Source<CVsxFile> s(b.Bytes(), "src.vs4");
  auto segment = s.StartWithNext(0);
  ASSERT_NE(segment, nullptr);
  ASSERT_EQ(s.CopyNext(segment.get(), 1, 1), 2u);
  // A third frame has no room in an index of two entries.
  EXPECT_EQ(s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(1), 4, 1, 2, 2), 2u);
  EXPECT_FALSE(s.reader.EndOfVsxFile(segment.get(), 2));
  segment.reset();
  EXPECT_TRUE(ListFolder(s.out.path()).empty());
}

TEST(SegmentWriter, BadCallsLeaveNoSegmentBehind) {
  struct Case {
    const char* name;
    uint32_t sourceNumber;  // of the one frame written
    uint32_t written;       // frames written so far, as the caller says
    uint32_t count;         // given to the end
  };
  const Case cases[] = {
      {"count disagrees", 1, 0, 2},
      {"source frame 0", 0, 0, 0},
      {"source frame past the index", 4, 0, 0},
      {"caller's count out of step", 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QrvBuilder b;
    b.AddFrames({kQrvKeyFrameAlt, kQrvPredictedFrame, kQrvPredictedFrame});
    Source<CZKQRV> s(b.Bytes(), "src.vse");
    ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
    auto segment = s.reader.CreateVsxFileAndFormat(0);
    ASSERT_NE(segment, nullptr);
    s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(0), s.reader.GetCurrentFrameSize(0), 0,
                                  c.sourceNumber, c.written);
    EXPECT_FALSE(s.reader.EndOfVsxFile(segment.get(), c.count));
    segment.reset();
    EXPECT_TRUE(ListFolder(s.out.path()).empty());
  }

  // An output folder that does not exist: no segment at all.
  VsxBuilder b;
  b.AddFrames({kVsxKeyFrame});
  Source<CVsxFile> s(b.Bytes(), "src.vs4");
  s.reader.state().snapshotFolder = s.out.File("missing");
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
  EXPECT_EQ(s.reader.CreateVsxFileAndFormat(0), nullptr);
  EXPECT_EQ(s.reader.EndOfVsxFile(nullptr, 0), false);
}

TEST(SegmentWriter, VsxSegmentReadsBackAsTheFramesWritten) {
  VsxBuilder b;
  b.header.startTime = 100;
  b.header.endTime = 700;
  const uint32_t types[] = {kVsxKeyFrame, kVsxPredictedFrame, kVsxAudioFrame, kVsxPredictedFrame, kVsxKeyFrameAlt};
  for (uint32_t i = 0; i < 5; ++i) {
    FrameInfo f = SampleFrameInfo(i + 1);
    f.channel = static_cast<uint8_t>(i);
    f.reserved1 = static_cast<uint8_t>(0x10 + i);
    std::vector<uint8_t> payload = TaggedPacket(3600 * (i + 1), static_cast<uint8_t>(i + 1),
                                                types[i] == kVsxAudioFrame ? 0xC0 : 0xE0);
    payload.resize(payload.size() + 100 * i, static_cast<uint8_t>(i));
    b.Add(f, payload, types[i]);
  }
  Source<CVsxFile> s(b.Bytes(), "src.vs4");
  // Frames 2..4, read into the slots the engine would use after frame 1.
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(1, 0));
  auto segment = s.reader.CreateVsxFileAndFormat(1);
  ASSERT_NE(segment, nullptr);
  uint32_t written = s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(1),
                                                   s.reader.GetCurrentFrameSize(1), 1, 2, 0);
  written = s.CopyNext(segment.get(), 2, written);
  written = s.CopyNext(segment.get(), 3, written);
  ASSERT_EQ(written, 3u);
  ASSERT_TRUE(s.reader.EndOfVsxFile(segment.get(), written));

  RecordingSink sink;
  CVsxFile copy(sink);
  ASSERT_TRUE(copy.OpenFileToGetDecoder(segment->path(), nullptr));
  VsxFileHeader expectedHeader = s.reader.header();
  expectedHeader.frameCount = 3;
  EXPECT_EQ(copy.header(), expectedHeader);
  EXPECT_EQ(copy.state().durationSeconds, s.reader.state().durationSeconds);
  ASSERT_EQ(copy.frameIndex().size(), 3u);
  copy.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(copy.frameIndex()[k].type, types[k + 1]);
    ASSERT_TRUE(copy.ReadCurrentFrameInfo(k, k == 0 ? 0 : kMpeg4Magic));
    FrameInfo expected = b.infos[k + 1];
    expected.frameNumber = k + 1;
    EXPECT_EQ(copy.frameInfo(k), expected) << k;
    EXPECT_EQ(std::vector<uint8_t>(copy.FrameSlot(k), copy.FrameSlot(k) + copy.GetCurrentFrameSize(k)),
              b.payloads[k + 1]);
  }
  SYSTEMTIME first;
  ASSERT_TRUE(GetRecordingStartTime(segment->path(), &first));
  EXPECT_EQ(first, b.infos[1].timestamp);
}

TEST(SegmentWriter, QrvSegmentReadsBackAsTheFramesWritten) {
  // Frame 3 leaves out its number and payload size (the size is the one
  // slot 0 held); the segment must still say both, as its frames land in
  // other slots.
  QrvBuilder b;
  QrvFrameHeader f1 = SampleQrvFrame(1, 50000);
  QrvFrameHeader f2 = SampleQrvFrame(2, 50040);
  f2.flags |= kQrvHasExtra1 | kQrvHasExtra2;
  f2.extra1 = 0xE1;
  f2.extra2 = 0xE2;
  f2.width = 640;
  f2.height = 228;
  QrvFrameHeader f3 = SampleQrvFrame(3, 50080);
  f3.flags = kQrvHasWidth | kQrvHasHeight | kQrvHasFrameTime | kQrvHasChannel;
  f3.channel = 7;
  QrvFrameHeader f4 = SampleQrvFrame(4, 50120);
  const std::vector<uint8_t> p1 = TaggedPacket(3600, 1), p2 = TaggedPacket(7200, 2), p3 = TaggedPacket(10800, 3),
                             p4 = TaggedPacket(14400, 4, 0xC0);
  b.Add(f1, p1, kQrvKeyFrameAlt);
  b.Add(f2, p2, kQrvPredictedFrame);
  b.Add(f3, p3, kQrvPredictedFrame);  // same length as p2
  b.Add(f4, p4, kQrvAudioFrame);
  Source<CZKQRV> s(b.Bytes(), "src.vse");

  // Every frame through slot 0, so frame 3 takes its size from frame 2.
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
  auto segment = s.reader.CreateVsxFileAndFormat(0);
  ASSERT_NE(segment, nullptr);
  uint32_t written = s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(0),
                                                   s.reader.GetCurrentFrameSize(0), 0, 2, 0);
  ASSERT_TRUE(s.reader.ReadCurrentFrameInfo(0, 0));
  ASSERT_EQ(s.reader.GetCurrentFrameSize(0), p3.size());
  written = s.reader.WriteVsxCurrentFrame(segment.get(), s.reader.FrameSlot(0), s.reader.GetCurrentFrameSize(0), 0,
                                          3, written);
  written = s.CopyNext(segment.get(), 0, written);
  ASSERT_EQ(written, 3u);
  ASSERT_TRUE(s.reader.EndOfVsxFile(segment.get(), written));
  EXPECT_EQ(segment->path(), s.out.File("20050305_101530.vse"));

  RecordingSink sink;
  CZKQRV copy(sink);
  ASSERT_TRUE(copy.OpenFileToGetDecoder(segment->path(), nullptr));
  QrvFileHeader expectedHeader = s.reader.header();
  expectedHeader.frameCount = 3;
  EXPECT_EQ(copy.header(), expectedHeader);
  EXPECT_EQ(copy.state().durationSeconds, s.reader.state().durationSeconds);
  // Header lengths: 25 with every field, 23 without the two extra bytes.
  const uint32_t second = 82 + 25 + static_cast<uint32_t>(p2.size());
  const uint32_t third = second + 23 + static_cast<uint32_t>(p3.size());
  EXPECT_EQ(copy.frameIndex(), (std::vector<RecIndexEntry>{
                                   {82, kQrvPredictedFrame}, {second, kQrvPredictedFrame}, {third, kQrvAudioFrame}}));

  // Read in engine order: frame k into slot k.
  copy.SeekFilePointToBeginFrame();
  const std::vector<uint8_t>* payloads[] = {&p2, &p3, &p4};
  const QrvFrameHeader* sources[] = {&f2, &f3, &f4};
  for (uint32_t k = 0; k < 3; ++k) {
    ASSERT_TRUE(copy.ReadCurrentFrameInfo(k, 0)) << k;
    const QrvFrameHeader& h = copy.record(k).header;
    EXPECT_EQ(h.frameNumber, k + 1);
    EXPECT_EQ(h.payloadSize, payloads[k]->size());
    EXPECT_EQ(h.frameTime, sources[k]->frameTime);
    EXPECT_EQ(h.channel, sources[k]->channel);
    EXPECT_EQ(h.width, sources[k]->width);
    EXPECT_EQ(std::vector<uint8_t>(copy.FrameSlot(k), copy.FrameSlot(k) + h.payloadSize), *payloads[k]) << k;
  }
  EXPECT_EQ(copy.record(0).header.extra1, 0xE1);
  EXPECT_EQ(copy.record(0).header.extra2, 0xE2);
  EXPECT_EQ(copy.record(0).resolutionCode, 6);
}

}  // namespace
}  // namespace tsv::test
