// Damaged recordings: every number read from a file is checked before it
// is used, so a bad file gives a clear failure (a failed open with its
// message, a failed read or seek), never a crash, a hang or a huge
// allocation. The sanitizer build turns any overflow here into a failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "formats/RecordingBuilder.h"
#include "formats/StartTimeQuery.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

std::vector<uint8_t> GoodVsx() {
  VsxBuilder b;
  b.AddFrames({kVsxKeyFrame, kVsxPredictedFrame, kVsxAudioFrame, kVsxKeyFrameAlt});
  return b.Bytes();
}

std::vector<uint8_t> GoodQrv() {
  QrvBuilder b;
  b.AddFrames({kQrvKeyFrameAlt, kQrvPredictedFrame, kQrvAudioFrame, kQrvKeyFrame});
  return b.Bytes();
}

void SetCount(std::vector<uint8_t>& bytes, uint32_t count) { PutU32LE(&bytes[bytes.size() - 4], count); }

template <typename Reader>
struct Attempt {
  TempDir dir;
  RecordingSink sink;
  Reader reader{sink};
  bool opened = false;

  Attempt(const std::vector<uint8_t>& bytes, const char* name) {
    WriteBytes(dir.File(name), bytes);
    opened = reader.OpenFileToGetDecoder(dir.File(name), nullptr);
  }
};

TEST(BadInput, IndexThatDoesNotFitFailsTheOpenWithAMessage) {
  struct Case {
    const char* name;
    // Spoils a file whose frames start at `header`.
    std::function<void(std::vector<uint8_t>&, std::size_t header)> spoil;
    bool opens;
  };
  const Case cases[] = {
      {"as written", [](std::vector<uint8_t>&, std::size_t) {}, true},
      {"count 0xFFFFFFFF", [](std::vector<uint8_t>& b, std::size_t) { SetCount(b, 0xFFFFFFFF); }, false},
      {"count 0x20000000", [](std::vector<uint8_t>& b, std::size_t) { SetCount(b, 0x20000000); }, false},
      // Room for the index: the file less the header and the count.
      {"count one past the room",
       [](std::vector<uint8_t>& b, std::size_t header) {
         SetCount(b, static_cast<uint32_t>((b.size() - header - 4) / 8 + 1));
       },
       false},
      {"empty file", [](std::vector<uint8_t>& b, std::size_t) { b.clear(); }, false},
      {"three bytes", [](std::vector<uint8_t>& b, std::size_t) { b.resize(3); }, false},
      {"shorter than a header", [](std::vector<uint8_t>& b, std::size_t) { b.resize(60); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> vsx = GoodVsx();
    c.spoil(vsx, kVsxHeaderSize);
    Attempt<CVsxFile> v(vsx, "v.vs4");
    EXPECT_EQ(v.opened, c.opens);
    EXPECT_EQ(v.sink.shown, c.opens ? std::vector<std::string>{} : std::vector<std::string>{"Open file is failed."});

    std::vector<uint8_t> qrv = GoodQrv();
    c.spoil(qrv, kQrvFirstFrameOffset);
    Attempt<CZKQRV> q(qrv, "q.vse");
    EXPECT_EQ(q.opened, c.opens);
    EXPECT_EQ(q.sink.shown, c.opens ? std::vector<std::string>{} : std::vector<std::string>{"Open file is failed."});
  }
}

TEST(BadInput, IndexFillingTheWholeRoomStillOpens) {
  // A header and nothing but index entries: the largest count that fits.
  std::vector<uint8_t> vsx(76, 0);
  PutU32LE(&vsx[68], kMpeg4Magic);
  for (int i = 0; i < 3; ++i) {
    AppendU32(vsx, 76);
    AppendU32(vsx, kVsxKeyFrame);
  }
  AppendU32(vsx, 3);
  Attempt<CVsxFile> v(vsx, "v.vs4");
  ASSERT_TRUE(v.opened);
  EXPECT_EQ(v.reader.state().indexCount, 3u);
  // Every entry points at the index itself: nothing there is a frame.
  EXPECT_FALSE(v.reader.SetFilePointerToPreIFrame(2));

  SetCount(vsx, 4);
  Attempt<CVsxFile> w(vsx, "w.vs4");
  EXPECT_FALSE(w.opened);
}

TEST(BadInput, EmptyQrvRecordingFailsQuietly) {
  QrvBuilder b;
  Attempt<CZKQRV> q(b.Bytes(), "q.vse");  // no first frame to size the picture from
  EXPECT_FALSE(q.opened);
  EXPECT_TRUE(q.sink.shown.empty());
}

TEST(BadInput, FrameReadsFailOnDamagedFrames) {
  struct Case {
    const char* name;
    uint32_t payloadSize;   // in the second frame's header
    std::size_t bytesThere; // bytes of payload actually in the file
    bool reads;
  };
  const Case cases[] = {
      {"full slot", 102400, 102400, true},
      {"one byte more than a slot", 102401, 102401, false},
      {"huge", 0xFFFFFFFF, 10, false},
      {"file ends inside the payload", 5000, 100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      VsxBuilder b;
      b.AddFrames({kVsxKeyFrame});
      b.Add(SampleFrameInfo(2), std::vector<uint8_t>(c.bytesThere, 0x42), kVsxPredictedFrame);
      b.infos[1].payloadSize = c.payloadSize;
      Attempt<CVsxFile> v(b.Bytes(), "v.vs4");
      ASSERT_TRUE(v.opened);
      v.reader.SeekFilePointToBeginFrame();
      ASSERT_TRUE(v.reader.ReadCurrentFrameInfo(49, 0));
      EXPECT_EQ(v.reader.ReadCurrentFrameInfo(49, kMpeg4Magic), c.reads);
    }
    {
      QrvBuilder b;
      b.AddFrames({kQrvKeyFrameAlt});
      QrvFrameHeader f = SampleQrvFrame(2, 50040);
      f.payloadSize = c.payloadSize;
      uint8_t h[kQrvFrameHeaderMaxSize];
      const std::size_t n = SerializeQrvFrameHeader(f, h);
      b.AddRaw(std::vector<uint8_t>(h, h + n), std::vector<uint8_t>(c.bytesThere, 0x42), kQrvPredictedFrame);
      Attempt<CZKQRV> q(b.Bytes(), "q.vse");
      ASSERT_TRUE(q.opened);
      q.reader.SeekFilePointToBeginFrame();
      ASSERT_TRUE(q.reader.ReadCurrentFrameInfo(49, 0));
      EXPECT_EQ(q.reader.ReadCurrentFrameInfo(49, 0), c.reads);
    }
  }
}

TEST(BadInput, FileEndingInsideAFrameHeader) {
  // The last frame's header is cut after 20 bytes; the index follows it.
  VsxBuilder v;
  v.AddFrames({kVsxKeyFrame});
  std::vector<uint8_t> vsx = v.Bytes();
  std::vector<uint8_t> cut(vsx.begin(), vsx.end() - 12);  // header, frame 1
  cut.insert(cut.end(), 20, 0x01);
  AppendU32(cut, 76);
  AppendU32(cut, kVsxKeyFrame);
  AppendU32(cut, 1);
  Attempt<CVsxFile> a(cut, "v.vs4");
  ASSERT_TRUE(a.opened);
  a.reader.SeekFilePointToBeginFrame();
  ASSERT_TRUE(a.reader.ReadCurrentFrameInfo(0, kMpeg4Magic));
  EXPECT_FALSE(a.reader.ReadCurrentFrameInfo(1, kMpeg4Magic));
  EXPECT_FALSE(a.reader.ReadCurrentFrameInfo(2, 0));  // at the end: nothing more

  // A QRV header whose flags promise fields the file does not hold.
  QrvBuilder q(kQrvStreamSoundOnly);
  q.AddFrames({kQrvAudioFrame});
  q.AddRaw({0xFF, 0x00, 0x00, 0x00, 0x02}, {}, kQrvAudioFrame);
  Attempt<CZKQRV> b(q.Bytes(), "q.vse");
  ASSERT_TRUE(b.opened);
  b.reader.SeekFilePointToBeginFrame();
  ASSERT_TRUE(b.reader.ReadCurrentFrameInfo(0, 0));
  EXPECT_FALSE(b.reader.ReadCurrentFrameInfo(1, 0));
  EXPECT_FALSE(b.reader.ReadCurrentFrameInfo(2, 0));
}

TEST(BadInput, IndexOffsetsOutsideTheFrameAreaFailTheSeek) {
  for (uint32_t offset : {0xFFFFFFF0u, 0x7FFFFFFFu, 0u}) {
    SCOPED_TRACE(offset);
    {
      VsxBuilder b;
      b.AddFrames({kVsxKeyFrame, kVsxPredictedFrame, kVsxKeyFrame, kVsxPredictedFrame});
      // Offset 0 stands for the start of the index itself.
      const uint32_t bad = offset != 0 ? offset : static_cast<uint32_t>(b.Bytes().size() - 4 - 4 * 8);
      b.index[2].offset = bad;
      Attempt<CVsxFile> v(b.Bytes(), "v.vs4");
      ASSERT_TRUE(v.opened);
      EXPECT_FALSE(v.reader.SetFilePointerToPreIFrame(3));
      ASSERT_TRUE(v.reader.FindNextIndexRange(3));
      EXPECT_FALSE(v.reader.MP4SetTargetFilePointer());
      v.reader.state().decoder.kind = kDecoderJpeg;
      ASSERT_TRUE(v.reader.FindNextIndexRange(3));
      EXPECT_FALSE(v.reader.JpegSetTargetFilePointer());
    }
    {
      QrvBuilder b;
      b.AddFrames({kQrvKeyFrameAlt, kQrvPredictedFrame, kQrvKeyFrameAlt, kQrvPredictedFrame});
      const uint32_t bad = offset != 0 ? offset : static_cast<uint32_t>(b.Bytes().size() - 4 - 4 * 8);
      b.index[2].offset = bad;
      Attempt<CZKQRV> q(b.Bytes(), "q.vse");
      ASSERT_TRUE(q.opened);
      EXPECT_FALSE(q.reader.SetFilePointerToPreIFrame(3));
      ASSERT_TRUE(q.reader.MP4FindNextIndexRange(3));
      EXPECT_FALSE(q.reader.MP4SetTargetFilePointer());
      ASSERT_TRUE(q.reader.FindNextIndexRange(3));
      EXPECT_FALSE(q.reader.JpegSetTargetFilePointer());
    }
  }
}

// Everything a player does with a file, bounded: open, read every frame in
// ring order, seek back, step backwards, ask for the start time.
template <typename Reader>
void Exercise(const std::string& path) {
  RecordingSink sink;
  Reader reader(sink);
  SYSTEMTIME t;
  GetRecordingStartTime(path, &t);
  if (!reader.OpenFileToGetDecoder(path, nullptr)) return;
  const uint32_t n = reader.state().indexCount;
  reader.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < n + 2 && reader.ReadCurrentFrameInfo(k % kRingSlots, 0); ++k) {
    uint32_t pts = 0, w = 0, h = 0, reserved = 0, type = 0;
    reader.ParseMp4FramePes(reader.FrameSlot(k), reader.GetCurrentFrameSize(k) % (kFrameSlotSize + 1), &pts, &w, &h,
                            &reserved, &type);
    reader.GetCurrentFrameTimestamp(k, &t, true);
  }
  const int last = static_cast<int>(n) - 1;
  reader.SetFilePointerToPreIFrame(last);
  reader.SetFilePointerToPreIFrame(Percent{100});
  reader.SearchIFrameExist(static_cast<uint32_t>(last));
  for (uint32_t mode : {0u, 1u}) {
    reader.state().predictedStreamMode = mode;
    if (!reader.FindNextIndexRange(last)) continue;
    int steps = 0;
    while (reader.MP4SetTargetFilePointer() && steps < 4 * static_cast<int>(n) + 8) {
      reader.ReadCurrentFrameInfo(0, 0);
      ++steps;
    }
    EXPECT_LT(steps, 4 * static_cast<int>(n) + 8) << "backward walk does not end";
  }
  if (reader.FindNextIndexRange(last)) {
    int steps = 0;
    while (reader.JpegSetTargetFilePointer() && steps < 2 * static_cast<int>(n) + 4) ++steps;
    EXPECT_LT(steps, 2 * static_cast<int>(n) + 4) << "JPEG walk does not end";
  }
}

// A new file each time: truncating and rewriting one makes some file
// systems flush it to the disk first.
void Rewrite(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::remove(path.c_str());
  WriteBytes(path, bytes);
}

TEST(BadInput, EveryByteOverwrittenNeverCrashesOrHangs) {
  // Small files keep the sweep short: frames whose payload is a bare PES
  // header with a time stamp.
  const std::vector<uint8_t> pes = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x08, 0x80, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01};
  VsxBuilder vsx;
  QrvBuilder qrv;
  const uint32_t vsxTypes[] = {kVsxKeyFrame, kVsxAudioFrame, kVsxPredictedFrame};
  const uint32_t qrvTypes[] = {kQrvKeyFrameAlt, kQrvAudioFrame, kQrvPredictedFrame};
  for (uint32_t i = 0; i < 3; ++i) {
    vsx.Add(SampleFrameInfo(i + 1), pes, vsxTypes[i]);
    qrv.Add(SampleQrvFrame(i + 1, 50000 + 40 * i), pes, qrvTypes[i]);
  }
  TempDir dir;
  const struct {
    std::vector<uint8_t> bytes;
    const char* name;
    void (*exercise)(const std::string&);
  } layouts[] = {{vsx.Bytes(), "m.vs4", Exercise<CVsxFile>}, {qrv.Bytes(), "m.vse", Exercise<CZKQRV>}};
  for (const auto& layout : layouts) {
    const std::string path = dir.File(layout.name);
    // One value per position, taking turns: all ones, zero, a lone top bit
    // cleared (sizes and counts become huge, small, or sign-flipped).
    const uint8_t values[] = {0xFF, 0x00, 0x7F};
    for (std::size_t at = 0; at < layout.bytes.size(); ++at) {
      std::vector<uint8_t> bytes = layout.bytes;
      const uint8_t value = values[at % 3] != bytes[at] ? values[at % 3] : static_cast<uint8_t>(~bytes[at]);
      bytes[at] = value;
      Rewrite(path, bytes);
      SCOPED_TRACE(testing::Message() << layout.name << " byte " << at << " = " << int(value));
      layout.exercise(path);
    }
    // And every length the file could have been cut to.
    for (std::size_t length = 0; length < layout.bytes.size(); length += 7) {
      Rewrite(path, std::vector<uint8_t>(layout.bytes.begin(),
                                         layout.bytes.begin() + static_cast<std::ptrdiff_t>(length)));
      layout.exercise(path);
    }
  }
}

}  // namespace
}  // namespace tsv::test
