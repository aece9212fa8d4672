// The ".vse" reader: the 80-byte header and its checks, frame headers whose
// fields are present by flag (absent ones kept from the slot's last frame),
// frame times and intervals, resolution codes and the stream-type table.
#include <gtest/gtest.h>

#include <cstdlib>

#include "formats/CZKQRV.h"
#include "formats/RecordingBuilder.h"
#include "media/jpeg/JpegPicture.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

struct OpenedQrv {
  TempDir dir;
  RecordingSink sink;
  CZKQRV reader{sink};
  uint32_t streamFlag = 0xEEEE;
  bool opened = false;

  explicit OpenedQrv(const std::vector<uint8_t>& bytes, void (*before)(PlaybackState&) = nullptr) {
    UseUtc();
    const std::string path = dir.File("rec.vse");
    WriteBytes(path, bytes);
    if (before) before(reader.state());
    opened = reader.OpenFileToGetDecoder(path, &streamFlag);
  }
};

// Frame header fields in their order and widths, written by hand.
struct Fields {
  uint32_t number = 0, size = 0;
  uint16_t width = 0, height = 0;
  uint32_t time = 0;
  uint8_t channel = 0, extra1 = 0, extra2 = 0;
};

std::vector<uint8_t> HeaderBytes(uint32_t flags, const Fields& f, uint16_t terminator = 0xFFFF) {
  std::vector<uint8_t> b;
  AppendU32(b, flags);
  if (flags & 0x01) AppendU32(b, f.number);
  if (flags & 0x02) AppendU32(b, f.size);
  if (flags & 0x04) AppendU16(b, f.width);
  if (flags & 0x08) AppendU16(b, f.height);
  if (flags & 0x10) AppendU32(b, f.time);
  if (flags & 0x20) b.push_back(f.channel);
  if (flags & 0x40) b.push_back(f.extra1);
  if (flags & 0x80) b.push_back(f.extra2);
  AppendU16(b, terminator);
  return b;
}

std::vector<uint8_t> Mpeg4KeyPacket(uint32_t width, uint32_t height, uint32_t pts = 3600) {
  std::vector<uint8_t> data = VideoObjectHeader(width, height);
  Append(data, PictureStart(1));
  return Packet({0xE0, pts, std::nullopt, false}, data);
}

// A frame with every basic field and the given picture size.
QrvFrameHeader SizedFrame(uint32_t number, uint16_t width, uint16_t height) {
  QrvFrameHeader f = SampleQrvFrame(number, 50000 + number * 40);
  f.width = width;
  f.height = height;
  return f;
}

// A plain-coloured picture as baseline JPEG.
std::vector<uint8_t> SolidJpeg(uint16_t width, uint16_t height) {
  std::vector<uint8_t> picture(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < picture.size(); i += 3) {
    picture[i] = 40;       // blue
    picture[i + 1] = 80;   // green
    picture[i + 2] = 160;  // red
  }
  return EncodeJpegPicture(picture.data(), width, height, 90);
}

TEST(QrvReader, OpenReadsHeaderAndFrameHeaderAtTheirOffsets) {
  std::vector<uint8_t> b(80, 0);
  for (int i = 0; i < 24; ++i) b[i] = static_cast<uint8_t>(0x30 + i);
  const uint16_t start[8] = {2005, 3, 6, 5, 10, 15, 30, 0};
  for (int i = 0; i < 8; ++i) PutU16LE(&b[24 + 2 * i], start[i]);
  PutU32LE(&b[40], 50000);       // start time, ms
  PutU32LE(&b[44], 53500);       // end time
  PutU32LE(&b[48], 1);           // frame count
  PutU32LE(&b[52], 0x0A00000A);  // 10.0.0.10
  b[56] = 0x56;
  b[57] = 0x57;
  b[58] = 5;  // stream type
  b[59] = 2;  // record style
  for (int i = 60; i < 80; ++i) b[i] = static_cast<uint8_t>(i);
  AppendU16(b, 0xFFFF);
  const std::vector<uint8_t> payload = Mpeg4KeyPacket(352, 240);
  Fields f{1, static_cast<uint32_t>(payload.size()), 352, 240, 51000, 3, 0x41, 0x42};
  Append(b, HeaderBytes(0xFF, f));
  Append(b, payload);
  AppendU32(b, 82);
  AppendU32(b, kQrvKeyFrameAlt);
  AppendU32(b, 1);

  OpenedQrv q(b);
  ASSERT_TRUE(q.opened);
  CZKQRV& r = q.reader;
  const QrvFileHeader& h = r.header();
  EXPECT_EQ(h.reserved1[0], 0x30);
  EXPECT_EQ(h.reserved1[23], 0x30 + 23);
  EXPECT_EQ(h.startTime, 50000u);
  EXPECT_EQ(h.endTime, 53500u);
  EXPECT_EQ(h.frameCount, 1u);
  EXPECT_EQ(h.reserved2[0], 0x56);
  EXPECT_EQ(h.reserved2[1], 0x57);
  EXPECT_EQ(h.streamType, 5);
  EXPECT_EQ(h.reserved3[0], 60);
  EXPECT_EQ(h.reserved3[19], 79);
  SYSTEMTIME t;
  EXPECT_TRUE(r.GetFileTimestamp(&t));
  EXPECT_EQ(t, Time(2005, 3, 5, 10, 15, 30, 0, 6));
  uint32_t ip = 0;
  r.GetFileIPAddress(&ip);
  EXPECT_EQ(ip, 0x0A00000Au);
  EXPECT_EQ(r.state().ipText, "10.0.0.10");
  std::string style;
  r.GetRecordStyleText(&style);
  EXPECT_EQ(style, "Trigger Record");
  EXPECT_EQ(r.state().indexCount, 1u);
  EXPECT_EQ(r.frameIndex(), (std::vector<RecIndexEntry>{{82, kQrvKeyFrameAlt}}));
  EXPECT_EQ(r.state().durationSeconds, 3u);
  EXPECT_EQ(r.state().durationText, "Duration : 00days 00:00:03  1 X");
  EXPECT_EQ(q.streamFlag, 0u);
  EXPECT_EQ(r.GetFileResolution(), 0);  // 352 x 240 from the layer header
  EXPECT_EQ(r.state().decoder.width, 352);
  EXPECT_EQ(r.state().decoder.height, 240);
  EXPECT_TRUE(q.sink.shown.empty());

  r.SeekFilePointToBeginFrame();
  ASSERT_TRUE(r.ReadCurrentFrameInfo(7, 0));
  const QrvFrameRecord& rec = r.record(7);
  EXPECT_EQ(rec.header.flags, 0xFFu);
  EXPECT_EQ(r.GetCurrentFrameIndex(7), 1u);
  EXPECT_EQ(r.GetCurrentFrameSize(7), payload.size());
  EXPECT_EQ(rec.header.width, 352);
  EXPECT_EQ(rec.header.height, 240);
  EXPECT_EQ(r.GetCurrentFrameTimestamp(7, 123456), 51000u);  // the pts argument is not used
  EXPECT_EQ(r.GetCurrentFrameChannel(7), 3);
  EXPECT_EQ(rec.header.extra1, 0x41);
  EXPECT_EQ(rec.header.extra2, 0x42);
  EXPECT_EQ(rec.resolutionCode, 0);
  EXPECT_TRUE(r.GetCurrentFrameTimestamp(7, &t, true));
  EXPECT_EQ(t, Time(2005, 3, 5, 10, 15, 31, 0, 6));
  const uint8_t* slot = r.FrameSlot(7);
  EXPECT_EQ(std::vector<uint8_t>(slot, slot + payload.size()), payload);
  EXPECT_EQ(r.GetCurrentFrameReserve(7), 0u);
  EXPECT_EQ(r.GetCurrentFrameADPCMState(7), ImaAdpcmState{});
}

TEST(QrvReader, MalformedFilesFailTheOpenSilently) {
  struct Case {
    const char* name;
    void (*spoil)(QrvBuilder&);
  };
  const Case cases[] = {
      {"frame count above N", [](QrvBuilder& b) { b.frameCount = 3; }},
      {"frame count below N", [](QrvBuilder& b) { b.frameCount = 1; }},
      {"header terminator 0xFFFE", [](QrvBuilder& b) { b.terminator = 0xFFFE; }},
      {"header terminator 0", [](QrvBuilder& b) { b.terminator = 0; }},
      {"first frame terminator", [](QrvBuilder& b) {
         b.frames[0][b.frames[0].size() - TaggedPacket(0, 0).size() - 1] = 0x7F;
       }},
      {"nothing to parse in the first picture", [](QrvBuilder& b) {
         std::fill(b.frames[0].begin() + 30, b.frames[0].end(), 0x55);
       }},
  };
  for (const Case& c : cases) {
    QrvBuilder b;
    b.AddFrames({kQrvKeyFrameAlt, kQrvPredictedFrame});
    c.spoil(b);
    OpenedQrv q(b.Bytes());
    EXPECT_FALSE(q.opened) << c.name;
    EXPECT_TRUE(q.sink.shown.empty()) << c.name;
  }

  // A file that cannot be opened at all is the one failure the user sees.
  RecordingSink sink;
  CZKQRV reader(sink);
  TempDir dir;
  EXPECT_FALSE(reader.OpenFileToGetDecoder(dir.File("missing.vse"), nullptr));
  EXPECT_EQ(sink.shown, std::vector<std::string>{"Open file is failed."});
  EXPECT_FALSE(reader.OpenFileToGetDecoder(dir.path(), nullptr));  // a folder
}

TEST(QrvReader, AbsentFieldsKeepTheSlotsLastValues) {
  // Frame A fills slot 0 with every field, frame B (flags under test) is
  // read into slot 0 after it, frame C into slot 1 shows that B's header
  // and payload were exactly consumed. All payloads are 6 bytes, so a kept
  // size is also the right size.
  const Fields a{1, 6, 640, 228, 51000, 1, 0x11, 0x22};
  const Fields bf{2, 6, 320, 276, 52500, 2, 0x33, 0x44};
  const std::vector<uint8_t> payloadA{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
  const std::vector<uint8_t> payloadB{0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6};
  for (uint32_t flags : {0x00u, 0x01u, 0x02u, 0x04u, 0x08u, 0x0Cu, 0x10u, 0x20u, 0x40u, 0x80u, 0xC0u, 0x1Fu,
                         0xFFu, 0x100u}) {
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << flags);
    QrvBuilder builder;
    builder.AddRaw(HeaderBytes(0xFF, a), payloadA, kQrvKeyFrameAlt);
    builder.AddRaw(HeaderBytes(flags, bf), payloadB, kQrvPredictedFrame);
    builder.AddRaw(HeaderBytes(0x3F, Fields{3, 2, 640, 228, 53000, 1}), {0xC1, 0xC2}, kQrvPredictedFrame);
    // The first frame is no picture packet: sound only needs no parse.
    builder.header.streamType = kQrvStreamSoundOnly;
    OpenedQrv q(builder.Bytes());
    ASSERT_TRUE(q.opened);
    CZKQRV& r = q.reader;
    r.SeekFilePointToBeginFrame();
    ASSERT_TRUE(r.ReadCurrentFrameInfo(0, 0));
    SYSTEMTIME before;
    ASSERT_TRUE(r.GetCurrentFrameTimestamp(0, &before, true));
    ASSERT_TRUE(r.ReadCurrentFrameInfo(0, 0));
    const QrvFrameHeader& h = r.record(0).header;
    EXPECT_EQ(h.flags, flags);
    EXPECT_EQ(h.frameNumber, flags & 0x01 ? bf.number : a.number);
    EXPECT_EQ(h.payloadSize, 6u);
    EXPECT_EQ(h.width, flags & 0x04 ? bf.width : a.width);
    EXPECT_EQ(h.height, flags & 0x08 ? bf.height : a.height);
    EXPECT_EQ(h.frameTime, flags & 0x10 ? bf.time : a.time);
    EXPECT_EQ(h.channel, flags & 0x20 ? bf.channel : a.channel);
    EXPECT_EQ(h.extra1, flags & 0x40 ? bf.extra1 : a.extra1);
    EXPECT_EQ(h.extra2, flags & 0x80 ? bf.extra2 : a.extra2);
    // The code changes only when both sizes are present.
    EXPECT_EQ(r.record(0).resolutionCode, (flags & 0x0C) == 0x0C ? 9 : 6);
    EXPECT_EQ(std::vector<uint8_t>(r.FrameSlot(0), r.FrameSlot(0) + 6), payloadB);

    // The wall-clock time is answered only for a frame that carries its time.
    SYSTEMTIME t = Time(1999, 1, 1, 0, 0, 0);
    EXPECT_TRUE(r.GetCurrentFrameTimestamp(0, &t, true));
    EXPECT_EQ(t, flags & 0x10 ? Time(2005, 3, 5, 10, 15, 32, 0, 6) : Time(1999, 1, 1, 0, 0, 0));
    EXPECT_EQ(before, Time(2005, 3, 5, 10, 15, 31, 0, 6));

    ASSERT_TRUE(r.ReadCurrentFrameInfo(1, 0));
    EXPECT_EQ(r.GetCurrentFrameIndex(1), 3u);
    EXPECT_EQ(std::vector<uint8_t>(r.FrameSlot(1), r.FrameSlot(1) + 2), (std::vector<uint8_t>{0xC1, 0xC2}));
  }
}

TEST(QrvReader, FrameHeaderThatEndsWrongOrEarlyFailsTheRead) {
  const std::vector<uint8_t> payload{1, 2, 3};
  struct Case {
    const char* name;
    std::vector<uint8_t> second;  // the second frame's bytes, as the file ends
  };
  std::vector<uint8_t> badTerminator = HeaderBytes(0x3F, Fields{2, 3, 352, 288, 50040, 1}, 0xFFFE);
  Append(badTerminator, payload);
  std::vector<uint8_t> cutHeader = HeaderBytes(0x3F, Fields{2, 3, 352, 288, 50040, 1});
  cutHeader.resize(9);
  std::vector<uint8_t> cutPayload = HeaderBytes(0x3F, Fields{2, 300, 352, 288, 50040, 1});
  Append(cutPayload, payload);
  const Case cases[] = {{"terminator 0xFFFE", badTerminator}, {"header cut", cutHeader}, {"payload cut", cutPayload}};
  for (const Case& c : cases) {
    QrvBuilder b(kQrvStreamSoundOnly);
    b.AddRaw(HeaderBytes(0x3F, Fields{1, 3, 352, 288, 50000, 1}), payload, kQrvAudioFrame);
    b.AddRaw(c.second, {}, kQrvAudioFrame);
    // The index must still fit: only the frames are spoilt.
    OpenedQrv q(b.Bytes());
    ASSERT_TRUE(q.opened) << c.name;
    q.reader.SeekFilePointToBeginFrame();
    ASSERT_TRUE(q.reader.ReadCurrentFrameInfo(0, 0)) << c.name;
    EXPECT_FALSE(q.reader.ReadCurrentFrameInfo(1, 0)) << c.name;
  }
}

TEST(QrvReader, FrameTimeGivesTheWallClockTime) {
  struct Case {
    uint32_t start, frameTime;
    SYSTEMTIME expected;
  };
  const Case cases[] = {
      {10000, 12500, Time(2005, 3, 5, 10, 15, 32, 0, 6)},
      {10000, 10000, Time(2005, 3, 5, 10, 15, 30, 0, 6)},  // milliseconds become 0
      {10000, 9999, Time(2005, 3, 5, 10, 15, 30, 0, 6)},   // elapsed = start - f - 1 = 0
      {10000, 9000, Time(2005, 3, 5, 10, 15, 30, 0, 6)},   // 999 ms
      {10000, 8999, Time(2005, 3, 5, 10, 15, 31, 0, 6)},   // 1000 ms
      {10000, 4000, Time(2005, 3, 5, 10, 15, 35, 0, 6)},   // 5999 ms, never a wrapped value
      {0, 0xFFFFFFFF, Time(2005, 4, 24, 3, 18, 17, 0, 0)}, // 4294967 s later
      {0xFFFFFFFF, 0, Time(2005, 4, 24, 3, 18, 17, 0, 0)}, // start - f - 1 = 4294967294 ms
  };
  for (const Case& c : cases) {
    QrvBuilder b(kQrvStreamSoundOnly);
    b.header.startTimestamp = Time(2005, 3, 5, 10, 15, 30, 250, 6);
    b.header.startTime = c.start;
    b.header.endTime = c.start;
    QrvFrameHeader f = SampleQrvFrame(1, c.frameTime);
    b.Add(f, TaggedPacket(90, 1, 0xC0), kQrvAudioFrame);
    OpenedQrv q(b.Bytes());
    ASSERT_TRUE(q.opened);
    SYSTEMTIME t;
    EXPECT_TRUE(q.reader.GetCurrentFrameTimestamp(0, &t, true));
    EXPECT_EQ(FormatSystemTime(t, true), FormatSystemTime(c.expected, true)) << c.start << " " << c.frameTime;
    EXPECT_EQ(t.wDayOfWeek, c.expected.wDayOfWeek);
  }
}

TEST(QrvReader, IntervalsAgainstThePreviousSlot) {
  QrvBuilder b(kQrvStreamSoundOnly);
  const uint32_t times[] = {1000, 1040, 1100, 1090, 2000, 2100, 2100};
  for (uint32_t i = 0; i < 7; ++i) b.Add(SampleQrvFrame(i + 1, times[i]), TaggedPacket(90, 1, 0xC0), kQrvAudioFrame);
  QrvFrameHeader noTime = SampleQrvFrame(8, 0);
  noTime.flags &= ~kQrvHasFrameTime;
  b.Add(noTime, TaggedPacket(90, 1, 0xC0), kQrvAudioFrame);
  b.header.startTime = 1000;
  OpenedQrv q(b.Bytes());
  ASSERT_TRUE(q.opened);
  CZKQRV& r = q.reader;
  r.SeekFilePointToBeginFrame();
  r.state().qrvFirstFrame = 1;

  struct Step {
    uint32_t slot;
    uint32_t interval;
  };
  const Step steps[] = {
      {0, 0},    // first frame after the flag: 0, whatever the slot before holds
      {1, 40},
      {2, 60},
      {3, 9},    // earlier than the frame before: previous - f - 1
      {49, 2000},  // slot 48 was never used: its frame time is 0
      {0, 100},  // slot 0 follows slot 49
      {1, 0},    // equal times
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(r.ReadCurrentFrameInfo(s.slot, 0));
    EXPECT_EQ(r.GetCurrentFrameTimerInterval(s.slot), s.interval) << "slot " << s.slot;
    EXPECT_EQ(r.state().qrvFirstFrame, 0u);
  }
  // A frame without a time keeps the interval the slot had.
  ASSERT_TRUE(r.ReadCurrentFrameInfo(2, 0));
  EXPECT_EQ(r.GetCurrentFrameTimerInterval(2), 60u);
}

TEST(QrvReader, ResolutionCodeFromTheFrameHeaderSize) {
  struct Case {
    uint16_t width, height;
    uint8_t code;
  };
  // Slot 0 held a 704 x 576 frame (code 3) before; sizes outside the table keep it.
  const Case cases[] = {{640, 228, 6}, {320, 228, 7}, {640, 276, 8}, {320, 276, 9}, {352, 240, 0},
                        {352, 288, 2}, {704, 480, 1}, {704, 576, 3}, {640, 456, 3}, {640, 552, 3},
                        {720, 576, 3}, {176, 144, 3}, {0, 0, 3}};
  for (const Case& c : cases) {
    QrvBuilder b(kQrvStreamSoundOnly);
    b.Add(SizedFrame(1, 704, 576), TaggedPacket(90, 1, 0xC0), kQrvAudioFrame);
    b.Add(SizedFrame(2, c.width, c.height), TaggedPacket(90, 2, 0xC0), kQrvAudioFrame);
    OpenedQrv q(b.Bytes());
    ASSERT_TRUE(q.opened);
    q.reader.SeekFilePointToBeginFrame();
    ASSERT_TRUE(q.reader.ReadCurrentFrameInfo(0, 0));
    ASSERT_TRUE(q.reader.ReadCurrentFrameInfo(0, 0));
    EXPECT_EQ(q.reader.record(0).resolutionCode, c.code) << c.width << "x" << c.height;
  }
}

TEST(QrvReader, ResolutionQueryMapsShownSizesAndKeepsTheCodeForOthers) {
  QrvBuilder b(kQrvStreamSoundOnly);
  b.Add(SizedFrame(1, 320, 228), TaggedPacket(90, 1, 0xC0), kQrvAudioFrame);
  OpenedQrv q(b.Bytes());
  ASSERT_TRUE(q.opened);
  CZKQRV& r = q.reader;
  EXPECT_EQ(r.GetFileResolution(), 7);  // from the first frame's size

  struct Case {
    uint16_t width, height;
    uint8_t code;
  };
  // Applied in order: each answer also becomes the file's code.
  const Case cases[] = {
      {640, 456, 6}, {640, 552, 8}, {640, 228, 6}, {640, 276, 8}, {320, 228, 7}, {320, 276, 9},
      {352, 240, 0}, {352, 288, 2}, {704, 480, 1}, {704, 576, 3},
      {123, 45, 3},     // not in the table: the code stays
      {720, 576, 3},
      {0, 0x0105, 5},   // width 0: the low byte of the height is the code itself
      {999, 999, 5},
      {0, 0, 7},        // both 0: the size of the frame in the slot
  };
  for (const Case& c : cases) {
    EXPECT_EQ(r.GetCurrentFrameResolution(0, c.width, c.height, true), c.code) << c.width << "x" << c.height;
    EXPECT_EQ(r.GetFileResolution(), c.code);
  }
  r.state().pictureRecords[0].resolutionCode = 12;
  EXPECT_EQ(r.GetCurrentFrameResolution(0, 352, 240, false), 12);
  EXPECT_EQ(r.GetFileResolution(), 7);
}

struct StreamCase {
  const char* name;
  uint8_t type;
  std::vector<uint8_t> firstPayload;
  uint32_t kind, magic, predicted, pacing, defaultPacing, audioOnly;
  uint8_t code;
};

TEST(QrvReader, StreamTypeDecidesDecoderModeAndPacing) {
  const std::vector<uint8_t> jpeg = SolidJpeg(320, 228);
  ASSERT_FALSE(jpeg.empty());
  const std::vector<uint8_t> mpeg4 = Mpeg4KeyPacket(704, 576);
  const std::vector<uint8_t> jpegPacket = Packet({0xD0, 3600, std::nullopt, false}, jpeg);
  const std::vector<uint8_t> jpegLongPacket = Packet({0xD0, 3600, std::nullopt, true}, jpeg);
  const std::vector<uint8_t> sound = Packet({0xC0, 3600, std::nullopt, false}, std::vector<uint8_t>(64, 0));
  // Values before the open: 7, 5 and 6 show what a type leaves unchanged.
  const StreamCase cases[] = {
      {"JPEG, own pacing", 0, jpegPacket, kDecoderJpeg, kJpegMagic, 7, 1, 1, 0, 7},
      {"JPEG, long packet head", 0, jpegLongPacket, kDecoderJpeg, kJpegMagic, 7, 1, 1, 0, 7},
      {"MPEG-4 chain, own pacing", 1, mpeg4, kDecoderMpeg4, kMpeg4Magic, 0, 1, 1, 0, 3},
      {"MPEG-4 key-referenced, own pacing", 2, mpeg4, kDecoderMpeg4, kMpeg4Magic, 1, 1, 1, 0, 3},
      {"JPEG", 3, jpeg, kDecoderJpeg, kJpegMagic, 7, 5, 6, 0, 7},  // bare JPEG data
      {"MPEG-4 chain", 4, mpeg4, kDecoderMpeg4, kMpeg4Magic, 0, 5, 6, 0, 3},
      {"MPEG-4 key-referenced", 5, mpeg4, kDecoderMpeg4, kMpeg4Magic, 1, 5, 6, 0, 3},
      {"sound only", 6, sound, 9, 0xABAB, 7, 1, 1, 1, 2},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.name);
    QrvBuilder b(c.type);
    b.Add(SampleQrvFrame(1, 50000), c.firstPayload, kQrvKeyFrameAlt);  // frame header says 352 x 288
    OpenedQrv q(b.Bytes(), [](PlaybackState& st) {
      PrepareRings(st, true);  // as the engine's per-file set-up does before the open
      st.predictedStreamMode = 7;
      st.videoPacing = 5;
      st.defaultVideoPacing = 6;
      st.audioOnly = 1;
      st.decoder.kind = 9;
      st.fileMagic = 0xABAB;
    });
    ASSERT_TRUE(q.opened);
    const PlaybackState& st = q.reader.state();
    EXPECT_EQ(st.decoder.kind, c.kind);
    EXPECT_EQ(st.fileMagic, c.magic);
    EXPECT_EQ(st.predictedStreamMode, c.predicted);
    EXPECT_EQ(st.videoPacing, c.pacing);
    EXPECT_EQ(st.defaultVideoPacing, c.defaultPacing);
    EXPECT_EQ(st.audioOnly, c.audioOnly);
    EXPECT_EQ(q.reader.GetFileResolution(), c.code);
    EXPECT_EQ(q.streamFlag, 0u);
    if (c.kind == kDecoderMpeg4) {
      EXPECT_EQ(st.decoder.width, 704);
      EXPECT_EQ(st.decoder.height, 576);
      EXPECT_EQ(st.decoder.predictedStreamMode, c.predicted);
    }
    if (c.kind == kDecoderJpeg) {
      // The first picture was decoded into the first picture slot.
      const uint8_t* px = st.pictureRing.get();
      EXPECT_NEAR(px[0], 40, 4);
      EXPECT_NEAR(px[1], 80, 4);
      EXPECT_NEAR(px[2], 160, 4);
    }
  }
}

TEST(QrvReader, LeadingSoundFramesDoNotSizeThePicture) {
  // Sound first: the picture size comes from the first picture frame.
  const std::vector<uint8_t> sound = Packet({0xC0, 90, std::nullopt, false}, std::vector<uint8_t>(64, 0));
  struct Case {
    uint8_t type;
    std::vector<uint8_t> picture;
    uint8_t code;
  };
  const Case cases[] = {{kQrvStreamMpeg4KeyRef, Mpeg4KeyPacket(704, 480), 1},
                        {kQrvStreamJpeg, Packet({0xD0, 90, std::nullopt, false}, SolidJpeg(320, 276)), 9}};
  for (const Case& c : cases) {
    QrvBuilder b(c.type);
    b.Add(SizedFrame(1, 0, 0), sound, kQrvAudioFrame);
    b.Add(SizedFrame(2, 0, 0), sound, kQrvAudioFrame);
    b.Add(SizedFrame(3, 0, 0), c.picture, kQrvKeyFrame);
    OpenedQrv q(b.Bytes());
    ASSERT_TRUE(q.opened) << int(c.type);
    EXPECT_EQ(q.reader.GetFileResolution(), c.code) << int(c.type);
    // The reader still starts at the first frame.
    q.reader.SeekFilePointToBeginFrame();
    ASSERT_TRUE(q.reader.ReadCurrentFrameInfo(0, 0));
    EXPECT_EQ(q.reader.GetCurrentFrameIndex(0), 1u);
  }
}

TEST(QrvReader, UndecodableFirstJpegPictureFailsTheOpen) {
  const std::vector<uint8_t> garbage{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  for (const auto& payload : {Packet({0xD0, 90, std::nullopt, false}, garbage), garbage,
                              Packet({0xD0, 90, std::nullopt, false}, {})}) {
    QrvBuilder b(kQrvStreamJpeg);
    b.Add(SampleQrvFrame(1, 50000), payload, kQrvKeyFrame);
    OpenedQrv q(b.Bytes());
    EXPECT_FALSE(q.opened);
    EXPECT_TRUE(q.sink.shown.empty());
  }
}

TEST(QrvReader, DurationInMillisecondsShownInSeconds) {
  struct Case {
    uint32_t start, end, seconds;
  };
  const Case cases[] = {
      {1000, 4500, 3},
      {5000, 5000, 0},                        // frames, equal times: 1 ms, still 0 s
      {0, 2 * 86400000u + 3661000u, 2 * 86400 + 3661},
      {5000, 1000, 4294963},                  // start after end: end - start - 1, unsigned
  };
  for (const Case& c : cases) {
    QrvBuilder b(kQrvStreamSoundOnly);
    b.header.startTime = c.start;
    b.header.endTime = c.end;
    b.AddFrames({kQrvAudioFrame});
    OpenedQrv q(b.Bytes());
    ASSERT_TRUE(q.opened);
    EXPECT_EQ(q.reader.state().durationSeconds, c.seconds) << c.start << ".." << c.end;
  }
}

TEST(QrvReader, AnswersThatDifferFromTheVsxReader) {
  QrvBuilder b(kQrvStreamSoundOnly);
  b.AddFrames({kQrvAudioFrame, kQrvAudioFrame});
  OpenedQrv q(b.Bytes());
  ASSERT_TRUE(q.opened);
  CZKQRV& r = q.reader;

  for (uint8_t stream : {0xE0, 0xD0, 0xC0, 0x00}) {
    const uint8_t bytes[4] = {0x00, 0x00, 0x01, stream};
    EXPECT_EQ(r.GetJpegFrameKind(bytes), kFramePicture);  // always a picture
  }
  const uint8_t e0[4] = {0, 0, 1, 0xE4}, c0[4] = {0, 0, 1, 0xC1}, d0[4] = {0, 0, 1, 0xD0};
  EXPECT_EQ(r.GetMp4FrameKind(e0), kFramePicture);
  EXPECT_EQ(r.GetMp4FrameKind(c0), kFrameSound);
  EXPECT_EQ(r.GetMp4FrameKind(d0), kFrameOther);

  uint32_t index = 42;
  EXPECT_TRUE(r.GetNonAudioFrameIndex(&index));
  EXPECT_EQ(index, 42u);

  const std::vector<uint8_t> packet = TaggedPacket(900, 1);
  uint32_t pts = 5, width = 5, height = 5;
  EXPECT_TRUE(r.ParseFramePes(packet.data(), static_cast<uint32_t>(packet.size()), &pts, &width, &height, nullptr,
                              nullptr));
  EXPECT_EQ(pts, 5u);  // this layout has no stamp parse of its own
  EXPECT_EQ(width, 0u);
  EXPECT_EQ(height, 0u);

  q.sink.logged.clear();
  EXPECT_TRUE(r.IsMatchFormat(102));
  EXPECT_EQ(q.sink.logged, std::vector<std::string>{"CZKQRV::IsMatchFormat : Not implement\n"});
  EXPECT_TRUE(q.sink.shown.empty());
}

TEST(QrvReader, RecordStyleTexts) {
  const std::pair<uint8_t, const char*> cases[] = {
      {1, "User Record"}, {2, "Trigger Record"}, {4, "Schedule Record"}, {3, "unchanged"}, {0, "unchanged"}};
  for (auto [style, text] : cases) {
    QrvBuilder b(kQrvStreamSoundOnly);
    b.header.recordStyle = style;
    b.AddFrames({kQrvAudioFrame});
    OpenedQrv q(b.Bytes());
    ASSERT_TRUE(q.opened);
    std::string out = "unchanged";
    q.reader.GetRecordStyleText(&out);
    EXPECT_EQ(out, text) << int(style);
  }
}

}  // namespace
}  // namespace tsv::test
