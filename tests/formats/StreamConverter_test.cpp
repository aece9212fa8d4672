// Stream conversion: synthesized ".mp4" and ".QRV" streams come back as
// recordings that hold what the synthesizer put in; damaged streams give
// the documented outcome; the block size never changes the result; a
// stopped conversion leaves nothing behind and nothing is ever replaced.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "formats/PesPacket.h"
#include "formats/StreamConversion.h"
#include "formats/StreamTestSupport.h"
#include "formats/StringTable.h"
#include "support/TestSupport.h"
#include "synth/Synthesizer.h"

namespace tsv {
namespace {

using test::ConvertBytes;
using test::PictureData;
using test::PlainPacket;
using test::ReadBytes;
using test::Stored;
using test::TempDir;

SYSTEMTIME WithoutMilliseconds(SYSTEMTIME t) {
  t.wMilliseconds = 0;
  return t;
}

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<uint8_t> Mp4Head(uint16_t version = 1) {
  StreamHead head;
  head.version = version;
  head.channel = 3;
  head.ipAddress = 0x0A00000A;
  head.startTime = {2025, 6, 0, 1, 12, 0, 0, 0};
  std::vector<uint8_t> bytes(kStreamHeadSize);
  SerializeStreamHead(head, bytes.data());
  return bytes;
}

TEST(StreamConverter, SynthesizedStreamsConvertIntoWhatWasPutIn) {
  struct Case {
    const char* what;
    SynthLayout layout;
    bool sound;
    bool longHead;
    bool dts;
    uint8_t resolution;
    uint8_t channel;
  };
  const Case cases[] = {
      {".mp4, pictures only", SynthLayout::Mp4Stream, false, false, false, 0, 2},
      {".mp4 with sound, long heads, DTS", SynthLayout::Mp4Stream, true, true, true, 2, 0},
      {".QRV, pictures only", SynthLayout::QrvStream, false, false, false, 0, 5},
      {".QRV with sound, field pictures", SynthLayout::QrvStream, true, false, false, 11, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    SynthOptions o;
    o.layout = c.layout;
    o.frames = 12;
    o.keyInterval = 5;
    o.rate = 10;
    o.sound = c.sound;
    o.longHead = c.longHead;
    o.withDts = c.dts;
    o.resolutionCode = c.resolution;
    o.channel = c.channel;
    o.start = {2026, 3, 4, 5, 23, 59, 58, 0};  // the frames cross midnight
    const bool qrv = c.layout == SynthLayout::QrvStream;
    const std::string source = dir.File(qrv ? "cam.QRV" : "cam.mp4");
    std::string error;
    ASSERT_TRUE(Synthesize(o, source, &error)) << error;

    std::atomic<bool> stop{false};
    std::vector<int> progress;
    const ConvertReport report = ConvertStreamFile(source, qrv ? StreamKind::Qrv : StreamKind::Mp4, "", stop,
                                                   [&](int p) { progress.push_back(p); });
    ASSERT_EQ(report.status, ConvertStatus::Done) << report.error;
    EXPECT_EQ(report.outputPath, dir.File(qrv ? "20260305_235958.vs4" : "cam.vs4"));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 1);

    const test::Vs4File vs4 = test::ParseVs4(ReadBytes(report.outputPath));
    ASSERT_TRUE(vs4.ok);
    // Conversion starts at the first picture: a sound frame before it is dropped.
    std::vector<SynthPlanEntry> plan = SynthFramePlan(o);
    while (!plan.empty() && plan.front().sound) plan.erase(plan.begin());
    ASSERT_EQ(vs4.frames.size(), plan.size());
    EXPECT_EQ(report.frames, plan.size());

    const VsxFileHeader& h = vs4.header;
    EXPECT_EQ(h.frameCount, plan.size());
    EXPECT_EQ(h.startTime, plan.front().timeMs / 1000);
    EXPECT_EQ(h.endTime, plan.back().timeMs / 1000);
    EXPECT_EQ(h.resolutionCode, c.resolution);
    EXPECT_EQ(h.recordStyle, 1);
    EXPECT_EQ(h.ipAddress, qrv ? 0u : o.ipAddress);
    EXPECT_EQ(h.fileTimestamp, qrv ? WithoutMilliseconds(SynthFrameTimestamp(o, plan.front().timeMs)) : o.start);
    EXPECT_EQ(h.magic, kMpeg4Magic);
    EXPECT_EQ(h.audioMode, 1);
    EXPECT_EQ(h.sourceFormat, qrv ? 102 : 0);

    std::vector<uint8_t> payloads;
    for (std::size_t i = 0; i < plan.size(); ++i) {
      SCOPED_TRACE("frame " + std::to_string(i + 1));
      const test::Vs4Frame& f = vs4.frames[i];
      const SynthPlanEntry& e = plan[i];
      EXPECT_EQ(f.info.frameNumber, i + 1);
      EXPECT_EQ(f.info.timerInterval, i == 0 ? kNoPredecessorInterval : e.timeMs - plan[i - 1].timeMs);
      EXPECT_EQ(f.info.formatTag, kMpeg4Magic);
      EXPECT_EQ(f.info.resolutionCode, c.resolution);
      EXPECT_EQ(f.info.channel, qrv ? 0 : c.channel);
      const uint32_t type = e.sound ? 0 : e.index % o.keyInterval == 0 ? 1 : 2;
      EXPECT_EQ(f.entry.type, type);
      // ".QRV": the packed local time; ".mp4": the head's time plus whole seconds of intervals.
      const SYSTEMTIME expected =
          qrv ? WithoutMilliseconds(SynthFrameTimestamp(o, e.timeMs))
              : AddSecondsLocal(o.start, (e.timeMs - plan.front().timeMs) / 1000);
      EXPECT_EQ(f.info.timestamp, expected);
      EXPECT_EQ(ScanPes(f.payload.data(), f.payload.size(), false).pts, e.timeMs * 90);
      payloads.insert(payloads.end(), f.payload.begin(), f.payload.end());
    }
    // The payloads are the stream's packets, back in plain byte order.
    std::vector<uint8_t> stream = ReadBytes(source);
    stream.erase(stream.begin(), stream.begin() + (qrv ? 0 : kStreamHeadSize));
    SwapWords(stream.data(), stream.data(), stream.size());
    ASSERT_LE(payloads.size(), stream.size());
    EXPECT_TRUE(std::equal(payloads.begin(), payloads.end(), stream.end() - static_cast<long>(payloads.size())));
  }
}

// A stream with everything that goes wrong in practice, as (stored bytes,
// what the conversion should make of it).
struct MessyStream {
  std::vector<uint8_t> bytes;
  uint32_t frames = 0;
  std::vector<uint32_t> types;
  std::vector<uint32_t> pts;
};

MessyStream MakeMessyStream() {
  MessyStream m;
  const std::vector<uint8_t> sound(200, 0x33);
  const auto key = PictureData(true, 0);
  const auto pred = PictureData(false, 1);
  std::vector<std::vector<uint8_t>> parts;
  parts.push_back(Mp4Head());
  parts.push_back({0x12, 0x34, 0x56});                                          // odd garbage: packets at odd offsets
  parts.push_back(Stored(PlainPacket(0xC0, 900, sound)));                       // sound before the first key picture
  parts.push_back(Stored(PlainPacket(0xE0, 1800, pred)));                       // a picture without stream headers
  std::vector<uint8_t> falseStart = {0x00, 0x00, 0xE0, 0x01};                   // start code with a length of 0
  falseStart.resize(40, 0x00);
  parts.push_back(falseStart);
  parts.push_back(Stored(PlainPacket(0xE0, 3600, key)));                        // frame 1
  m.types.push_back(1);
  m.pts.push_back(3600);
  parts.push_back(Stored(PlainPacket(0xC0, 4500, sound)));                      // frame 2
  m.types.push_back(0);
  m.pts.push_back(4500);
  parts.push_back({0xAB, 0xCD, 0xEF});                                          // garbage between packets
  parts.push_back(Stored(PlainPacket(0xE0, 7200, std::vector<uint8_t>(kMaxStreamPacket, 0x11))));  // too long
  parts.push_back(Stored(PlainPacket(0xE0, 10800, PictureData(false, 2))));     // frame 3: B picture
  m.types.push_back(2);
  m.pts.push_back(10800);
  parts.push_back(Stored(PlainPacket(0xE0, 14400, PictureData(false, 3))));     // frame 4: S picture
  m.types.push_back(2);
  m.pts.push_back(14400);
  std::vector<uint8_t> last = Stored(PlainPacket(0xE0, 18000, pred));
  last.resize(last.size() - 3);                                                 // truncated last packet
  parts.push_back(last);
  m.frames = 4;
  m.bytes = Concat(parts);
  return m;
}

TEST(StreamConverter, DamagedStreamGivesAValidRecordingOfWhatIsWhole) {
  const MessyStream m = MakeMessyStream();
  std::vector<uint8_t> vs4;
  const ConvertReport report = ConvertBytes(m.bytes, StreamKind::Mp4, &vs4);
  ASSERT_EQ(report.status, ConvertStatus::Done) << report.error;
  EXPECT_EQ(report.oversizedPackets, 1u);
  EXPECT_TRUE(report.truncatedLastPacket);
  EXPECT_EQ(report.skippedBytes, 3u);
  const test::Vs4File f = test::ParseVs4(vs4);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.frames.size(), m.frames);
  EXPECT_EQ(f.header.frameCount, m.frames);
  for (std::size_t i = 0; i < m.frames; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f.frames[i].entry.type, m.types[i]);
    EXPECT_EQ(ScanPes(f.frames[i].payload.data(), f.frames[i].payload.size(), false).pts, m.pts[i]);
    EXPECT_EQ(f.frames[i].info.timerInterval, i == 0 ? kNoPredecessorInterval : (m.pts[i] - m.pts[i - 1]) / 90);
  }
  EXPECT_EQ(f.frames[0].info.channel, 3);
  // 120 ms of intervals in all: every frame is in the head's second.
  EXPECT_EQ(f.frames[3].info.timestamp, AddSecondsLocal(ParseStreamHead(m.bytes.data()).startTime, 0));
}

TEST(StreamConverter, BlockSizeNeverChangesTheRecording) {
  const MessyStream m = MakeMessyStream();
  std::vector<uint8_t> reference;
  ASSERT_EQ(ConvertBytes(m.bytes, StreamKind::Mp4, &reference, 1024).status, ConvertStatus::Done);
  for (std::size_t block : {std::size_t{64}, std::size_t{1000}, std::size_t{1031}, std::size_t{65536},
                            kConvertReadBlock}) {
    SCOPED_TRACE(block);
    std::vector<uint8_t> vs4;
    ConvertBytes(m.bytes, StreamKind::Mp4, &vs4, block);
    EXPECT_EQ(vs4, reference);
  }
}

TEST(StreamConverter, EdgesOfTheStream) {
  const auto key = PictureData(true, 0);
  const auto pred = PictureData(false, 1);
  const std::vector<uint8_t> keyPacket = Stored(PlainPacket(0xE0, 0, key));
  struct Case {
    const char* what;
    std::vector<uint8_t> qrvBytes;
    ConvertStatus status;
    uint32_t frames;
    bool truncated;
  };
  std::vector<uint8_t> garbage(5000);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7 + 1);
  const Case cases[] = {
      {"leading garbage, then packets", Concat({garbage, keyPacket, Stored(PlainPacket(0xE0, 3600, pred))}),
       ConvertStatus::Done, 2, false},
      {"a short complete last packet (under 1024 bytes left)",
       Concat({keyPacket, Stored(PlainPacket(0xE0, 3600, std::vector<uint8_t>(8000, 9))),
               Stored(PlainPacket(0xE0, 7200, pred))}),
       ConvertStatus::Done, 3, false},
      {"a packet cut after its head", Concat({keyPacket, std::vector<uint8_t>(keyPacket.begin(), keyPacket.begin() + 30)}),
       ConvertStatus::Done, 1, true},
      {"no picture with stream headers", Concat({garbage, Stored(PlainPacket(0xE0, 0, pred))}),
       ConvertStatus::NoPictures, 0, false},
      {"empty", {}, ConvertStatus::NoPictures, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> vs4;
    const ConvertReport report = ConvertBytes(c.qrvBytes, StreamKind::Qrv, &vs4);
    EXPECT_EQ(report.status, c.status);
    EXPECT_EQ(report.frames, c.frames);
    EXPECT_EQ(report.truncatedLastPacket, c.truncated);
    if (c.status == ConvertStatus::Done) {
      const test::Vs4File f = test::ParseVs4(vs4);
      EXPECT_TRUE(f.ok);
      EXPECT_EQ(f.frames.size(), c.frames);
    } else {
      EXPECT_TRUE(vs4.empty());
    }
  }
}

TEST(StreamConverter, PackedQrvTimeNamesTheRecording) {
  const SYSTEMTIME when = {2131, 7, 0, 9, 8, 7, 6, 0};  // a year offset with the extra bit
  const std::vector<uint8_t> bytes = Stored(PlainPacket(0xE0, 0, PictureData(true, 0), when));
  TempDir dir;
  test::WriteBytes(dir.File("disc.qrv"), bytes);
  std::atomic<bool> stop{false};
  const ConvertReport report = ConvertStreamFile(dir.File("disc.qrv"), StreamKind::Qrv, "", stop, nullptr);
  ASSERT_EQ(report.status, ConvertStatus::Done) << report.error;
  EXPECT_EQ(report.outputPath, dir.File("21310709_080706.vs4"));
  const test::Vs4File f = test::ParseVs4(ReadBytes(report.outputPath));
  ASSERT_EQ(f.frames.size(), 1u);
  EXPECT_EQ(f.frames[0].info.timestamp, (SYSTEMTIME{2131, 7, *DayOfWeek(2131, 7, 9), 9, 8, 7, 6, 0}));
}

TEST(StreamConverter, SourceHeadCheck) {
  TempDir dir;
  const std::vector<uint8_t> packets = Stored(PlainPacket(0xE0, 0, PictureData(true, 0)));
  struct Case {
    const char* what;
    std::optional<std::vector<uint8_t>> bytes;  // none: no file
    ConvertStatus status;
  };
  const Case cases[] = {
      {"version 1", Concat({Mp4Head(1), packets}), ConvertStatus::Done},
      {"version 2", Concat({Mp4Head(2), packets}), ConvertStatus::NotAStream},
      {"version 0", Concat({Mp4Head(0), packets}), ConvertStatus::NotAStream},
      {"shorter than the head", std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x0A}, ConvertStatus::NotAStream},
      {"empty", std::vector<uint8_t>{}, ConvertStatus::NotAStream},
      {"missing", std::nullopt, ConvertStatus::OpenFailed},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("s" + std::to_string(n++) + ".MP4");
    if (c.bytes) test::WriteBytes(path, *c.bytes);
    std::atomic<bool> stop{false};
    const ConvertReport report = ConvertStreamFile(path, StreamKind::Mp4, "", stop, nullptr);
    EXPECT_EQ(report.status, c.status);
    if (c.status == ConvertStatus::NotAStream) {
      EXPECT_EQ(report.error, "File Type is not correct.");
    }
    StreamConversion conversion;
    EXPECT_EQ(conversion.OpenSource(path, StreamKind::Mp4), c.status);
  }
}

TEST(StreamConverter, StopMidwayLeavesNothingBehind) {
  TempDir dir;
  SynthOptions o;
  o.layout = SynthLayout::QrvStream;
  o.frames = 40;
  o.keyInterval = 10;
  std::string error;
  ASSERT_TRUE(Synthesize(o, dir.File("long.QRV"), &error)) << error;
  StreamConversion conversion;
  ASSERT_EQ(conversion.OpenSource(dir.File("long.QRV"), StreamKind::Qrv), ConvertStatus::Done);
  EXPECT_TRUE(conversion.SourceIsQrv());
  std::vector<int> seen;
  ASSERT_TRUE(conversion.StartConversion("", [&](int percent) {
    seen.push_back(percent);
    if (percent >= 30) conversion.RequestStop();
  }));
  conversion.Wait();
  EXPECT_EQ(conversion.ConversionReport().status, ConvertStatus::Stopped);
  EXPECT_LT(seen.back(), 100);
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"long.QRV"});
}

TEST(StreamConverter, NeverReplacesAFile) {
  TempDir dir;
  SynthOptions o;
  o.layout = SynthLayout::Mp4Stream;
  o.frames = 3;
  std::string error;
  ASSERT_TRUE(Synthesize(o, dir.File("cam.mp4"), &error)) << error;
  const std::vector<uint8_t> original = {1, 2, 3};
  test::WriteBytes(dir.File("cam.vs4"), original);  // an original recording beside the stream
  std::atomic<bool> stop{false};
  const ConvertReport first = ConvertStreamFile(dir.File("cam.mp4"), StreamKind::Mp4, "", stop, nullptr);
  const ConvertReport second = ConvertStreamFile(dir.File("cam.mp4"), StreamKind::Mp4, "", stop, nullptr);
  EXPECT_EQ(first.outputPath, dir.File("cam_2.vs4"));
  EXPECT_EQ(second.outputPath, dir.File("cam_3.vs4"));
  EXPECT_EQ(ReadBytes(dir.File("cam.vs4")), original);
  EXPECT_EQ(ReadBytes(first.outputPath), ReadBytes(second.outputPath));
}

TEST(StreamConverter, KindByExtension) {
  EXPECT_EQ(StreamKindOfPath("/a.b/c.mp4"), StreamKind::Mp4);
  EXPECT_EQ(StreamKindOfPath("C.QrV"), StreamKind::Qrv);
  EXPECT_EQ(StreamKindOfPath("c.vs4"), std::nullopt);
  EXPECT_EQ(StreamKindOfPath("\"c.mp4\""), std::nullopt);  // a quoted path keeps its quote
}

}  // namespace
}  // namespace tsv
