// The ".vs4" reader: header, index and frame headers byte for byte, what
// the open step derives from the header, frame reads into the ring, the
// PES parse and the per-frame questions the engine asks.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "formats/CVsxFile.h"
#include "formats/PesPacket.h"
#include "formats/PlaybackState.h"
#include "formats/RecordingBuilder.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

// Opens bytes written to a scratch file; the reader keeps the sink.
struct OpenedVsx {
  TempDir dir;
  RecordingSink sink;
  CVsxFile reader{sink};
  uint32_t streamFlag = 0xEEEE;
  bool opened = false;

  explicit OpenedVsx(const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File("rec.vs4");
    WriteBytes(path, bytes);
    opened = reader.OpenFileToGetDecoder(path, &streamFlag);
  }
};

TEST(VsxReader, OpenReadsHeaderIndexAndFrameHeaderAtTheirOffsets) {
  // Written field by field at the documented offsets, independent of the
  // layout serializers.
  std::vector<uint8_t> b(76, 0);
  PutU32LE(&b[0], 2);            // frame count
  PutU32LE(&b[4], 7000);         // start time
  PutU32LE(&b[8], 7125);         // end time
  PutU32LE(&b[12], 0x0A01A8C0);  // 192.168.1.10
  b[16] = 2;                     // resolution code
  b[17] = 3;                     // record style
  for (int i = 18; i < 48; ++i) b[i] = static_cast<uint8_t>(i);
  const uint16_t stamp[8] = {2005, 3, 6, 5, 10, 15, 30, 250};
  for (int i = 0; i < 8; ++i) PutU16LE(&b[48 + 2 * i], stamp[i]);
  PutU32LE(&b[64], 0xDEADBEEF);
  PutU32LE(&b[68], kMpeg4Magic);
  b[72] = 0;
  b[73] = 7;
  b[74] = 0x74;
  b[75] = 0x75;

  // Frame 1: a 48-byte frame header, then 5 bytes of payload.
  std::vector<uint8_t> f(48, 0);
  PutU32LE(&f[0], 1);
  PutU32LE(&f[4], 5);
  PutU32LE(&f[8], 65535);
  PutU32LE(&f[12], kMpeg4Magic);
  f[16] = 2;
  f[17] = 0x17;
  f[18] = 9;  // channel
  f[19] = 0x19;
  PutU32LE(&f[20], 0x01020304);
  const uint16_t frameStamp[8] = {2005, 3, 6, 5, 10, 15, 31, 480};
  for (int i = 0; i < 8; ++i) PutU16LE(&f[24 + 2 * i], frameStamp[i]);
  PutU32LE(&f[40], 42);     // step index
  PutU32LE(&f[44], 31000);  // predictor
  Append(b, f);
  Append(b, {0x00, 0x00, 0x01, 0xE0, 0x99});
  // Frame 2: an empty payload.
  std::vector<uint8_t> g(48, 0);
  PutU32LE(&g[0], 2);
  PutU32LE(&g[12], kMpeg4Magic);
  Append(b, g);
  AppendU32(b, 76);
  AppendU32(b, 1);
  AppendU32(b, 76 + 48 + 5);
  AppendU32(b, 2);
  AppendU32(b, 2);

  OpenedVsx f1(b);
  ASSERT_TRUE(f1.opened);
  CVsxFile& r = f1.reader;
  const VsxFileHeader& h = r.header();
  EXPECT_EQ(h.frameCount, 2u);
  EXPECT_EQ(h.startTime, 7000u);
  EXPECT_EQ(h.endTime, 7125u);
  EXPECT_EQ(h.reserved1[0], 18);
  EXPECT_EQ(h.reserved1[29], 47);
  EXPECT_EQ(h.reserved2, 0xDEADBEEFu);
  EXPECT_EQ(h.sourceFormat, 7);
  EXPECT_EQ(h.reserved3[0], 0x74);
  EXPECT_EQ(h.reserved3[1], 0x75);
  EXPECT_EQ(r.GetFileResolution(), 2);
  SYSTEMTIME start;
  EXPECT_TRUE(r.GetFileTimestamp(&start));
  EXPECT_EQ(start, Time(2005, 3, 5, 10, 15, 30, 250, 6));
  uint32_t ip = 0;
  r.GetFileIPAddress(&ip);
  EXPECT_EQ(ip, 0x0A01A8C0u);
  EXPECT_EQ(r.state().ipText, "192.168.1.10");
  EXPECT_EQ(r.frameIndex(), (std::vector<RecIndexEntry>{{76, 1}, {129, 2}}));
  EXPECT_EQ(r.state().indexCount, 2u);
  EXPECT_EQ(r.state().fileMagic, kMpeg4Magic);
  EXPECT_EQ(r.state().durationSeconds, 125u);
  EXPECT_EQ(r.state().decoder.kind, kDecoderMpeg4);
  EXPECT_EQ(r.state().decoder.width, 352);
  EXPECT_EQ(r.state().decoder.height, 288);
  EXPECT_TRUE(f1.sink.shown.empty());

  r.SeekFilePointToBeginFrame();
  ASSERT_TRUE(r.ReadCurrentFrameInfo(3, 0));
  EXPECT_EQ(r.GetCurrentFrameIndex(3), 1u);
  EXPECT_EQ(r.GetCurrentFrameSize(3), 5u);
  EXPECT_EQ(r.GetCurrentFrameTimerInterval(3), 65535u);
  EXPECT_EQ(r.GetCurrentFrameResolution(3, 0, 0, true), 2);
  EXPECT_EQ(r.GetCurrentFrameChannel(3), 9);
  EXPECT_EQ(r.GetCurrentFrameReserve(3), 0x01020304u);
  EXPECT_EQ(r.GetCurrentFrameADPCMState(3), (ImaAdpcmState{42, 31000}));
  SYSTEMTIME t;
  EXPECT_TRUE(r.GetCurrentFrameTimestamp(3, &t, true));
  EXPECT_EQ(t, Time(2005, 3, 5, 10, 15, 31, 480, 6));
  EXPECT_EQ(r.frameInfo(3).reserved1, 0x17);
  EXPECT_EQ(r.frameInfo(3).reserved2, 0x19);
  const uint8_t* slot = r.state().frameRing.get() + 3 * kFrameSlotSize;
  EXPECT_EQ(std::vector<uint8_t>(slot, slot + 5), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xE0, 0x99}));

  // The accessors without fromFrame answer from the engine's picture records.
  r.state().pictureRecords[3].resolutionCode = 11;
  r.state().pictureRecords[3].timestamp = Time(2001, 1, 1, 0, 0, 0);
  EXPECT_EQ(r.GetCurrentFrameResolution(3, 0, 0, false), 11);
  EXPECT_TRUE(r.GetCurrentFrameTimestamp(3, &t, false));
  EXPECT_EQ(t, Time(2001, 1, 1, 0, 0, 0));

  ASSERT_TRUE(r.ReadCurrentFrameInfo(4, kMpeg4Magic));
  EXPECT_EQ(r.GetCurrentFrameIndex(4), 2u);
  EXPECT_EQ(r.GetCurrentFrameSize(4), 0u);
}

TEST(VsxReader, DurationFromHeaderTimes) {
  struct Case {
    uint32_t start, end, frameCount;
    uint32_t seconds;
    const char* text;  // nullptr: not checked
  };
  const Case cases[] = {
      {100, 3700, 5, 3600, "Duration : 00days 01:00:00  1 X"},
      {0, 2 * 86400 + 3661, 5, 2 * 86400 + 3661, "Duration : 02days 01:01:01  1 X"},
      {500, 500, 3, 1, "Duration : 00days 00:00:01  1 X"},  // frames, equal times: one second
      {500, 500, 0, 0, "Duration : 00days 00:00:00  1 X"},  // no frames
      {10, 5, 1, 0xFFFFFFFAu, nullptr},                      // start after end: end - start - 1, unsigned
      {1, 0, 1, 0xFFFFFFFEu, nullptr},
  };
  for (const Case& c : cases) {
    VsxBuilder b;
    b.header.startTime = c.start;
    b.header.endTime = c.end;
    b.AddFrames({1});
    b.frameCount = c.frameCount;
    OpenedVsx f(b.Bytes());
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.reader.state().durationSeconds, c.seconds) << c.start << ".." << c.end;
    if (c.text) {
      EXPECT_EQ(f.reader.state().durationText, c.text);
    }
  }
}

TEST(VsxReader, DurationTextSplitsDaysAndNamesTheSpeed) {
  EXPECT_EQ(FormatDurationText(0, 4), "Duration : 00days 00:00:00  1 X");
  EXPECT_EQ(FormatDurationText(59, 0), "Duration : 00days 00:00:59  1/16 X");
  EXPECT_EQ(FormatDurationText(86399, 3), "Duration : 00days 23:59:59  1/2 X");
  EXPECT_EQ(FormatDurationText(86400, 8), "Duration : 01days 00:00:00  16 X");
  EXPECT_EQ(FormatDurationText(100 * 86400 + 61, 5), "Duration : 100days 00:01:01  2 X");
}

TEST(VsxReader, EmptyIndexOpens) {
  VsxBuilder b;  // no frames: the header, then N = 0
  b.header.startTime = b.header.endTime = 0;
  OpenedVsx f(b.Bytes());
  ASSERT_TRUE(f.opened);
  EXPECT_EQ(f.reader.state().indexCount, 0u);
  EXPECT_TRUE(f.reader.frameIndex().empty());
  EXPECT_EQ(f.reader.state().durationSeconds, 0u);
  EXPECT_FALSE(f.reader.SearchIFrameExist(0));
  EXPECT_FALSE(f.reader.SearchIFrameExist(5));
  EXPECT_EQ(f.reader.PercentToFrameIndex(100), 0u);
  uint32_t index = 1;
  EXPECT_FALSE(f.reader.GetNonAudioFrameIndex(&index));
  EXPECT_TRUE(f.reader.SetFilePointerToPreIFrame(Percent{100}));
  EXPECT_EQ(f.reader.state().atStart, 1u);
}

TEST(VsxReader, HeaderChoosesDecoderPacingAndStreamFlag) {
  struct Case {
    uint32_t magic;
    uint8_t audioMode, sourceFormat;
    uint32_t kind, predicted, pacing, audioOnly, streamFlag;
  };
  const Case cases[] = {
      {kMpeg4Magic, 0, 0, kDecoderMpeg4, 1, 0, 0, 1},   // recorder stream: key-frame ranges, sound clock
      {kMpeg4Magic, 0, 102, kDecoderMpeg4, 0, 1, 0, 1}, // converted ".QRV" stream: ordinary chain
      {kMpeg4Magic, 1, 0, kDecoderMpeg4, 1, 1, 0, 1},   // pictures paced by their own intervals
      {kMpeg4Magic, 2, 0, kDecoderMpeg4, 1, 1, 1, 0},   // sound only
      {kMpeg4Magic, 3, 0, kDecoderMpeg4, 1, 0, 0, 1},   // other modes change nothing
      {kJpegMagic, 0, 0, kDecoderJpeg, 1, 0, 0, 1},
      {kJpegMagic, 1, 102, kDecoderJpeg, 0, 1, 0, 1},
      {kJpegMagic, 2, 102, kDecoderJpeg, 0, 1, 1, 0},
  };
  for (const Case& c : cases) {
    VsxBuilder b;
    b.header.magic = c.magic;
    b.header.audioMode = c.audioMode;
    b.header.sourceFormat = c.sourceFormat;
    b.AddFrames({1, 2});
    OpenedVsx f(b.Bytes());
    SCOPED_TRACE(testing::Message() << std::hex << c.magic << std::dec << " mode " << int(c.audioMode)
                                    << " source " << int(c.sourceFormat));
    ASSERT_TRUE(f.opened);
    const PlaybackState& st = f.reader.state();
    EXPECT_EQ(st.decoder.kind, c.kind);
    EXPECT_EQ(st.predictedStreamMode, c.predicted);
    EXPECT_EQ(st.videoPacing, c.pacing);
    EXPECT_EQ(st.defaultVideoPacing, c.pacing);
    EXPECT_EQ(st.audioOnly, c.audioOnly);
    EXPECT_EQ(f.streamFlag, c.streamFlag);
    EXPECT_EQ(st.fileMagic, c.magic);
    EXPECT_EQ(f.reader.IsMatchFormat(102), c.sourceFormat == 102);
  }
}

TEST(VsxReader, OpenClearsTheFlagsBeforeShowFromFrame) {
  VsxBuilder b;
  b.AddFrames({1});
  TempDir dir;
  WriteBytes(dir.File("a.vs4"), b.Bytes());
  RecordingSink sink;
  CVsxFile r(sink);
  r.state().showFromFrame = 1;
  r.state().singlePicture = 1;
  r.state().exportRunning = 1;
  ASSERT_TRUE(r.OpenFileToGetDecoder(dir.File("a.vs4"), nullptr));
  EXPECT_EQ(r.state().showFromFrame, 0u);
  EXPECT_EQ(r.state().singlePicture, 0u);
  EXPECT_EQ(r.state().exportRunning, 0u);
}

TEST(VsxReader, MpegDecoderSizeFollowsTheResolutionCode) {
  struct Case {
    uint8_t code;
    uint16_t width, height;
  };
  // Codes without a decode size start the decoder at 720 x 576.
  const Case cases[] = {{0, 352, 240}, {1, 704, 480}, {4, 176, 112}, {5, 176, 144}, {10, 720, 480},
                        {11, 720, 240}, {13, 720, 288}, {6, 720, 576}, {9, 720, 576}, {200, 720, 576}};
  for (const Case& c : cases) {
    VsxBuilder b;
    b.header.resolutionCode = c.code;
    b.AddFrames({1});
    OpenedVsx f(b.Bytes());
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.reader.state().decoder.width, c.width) << int(c.code);
    EXPECT_EQ(f.reader.state().decoder.height, c.height) << int(c.code);
  }
}

TEST(VsxReader, UnknownMagicFailsWithoutAMessage) {
  for (uint32_t magic : {0u, 0x12345678u, kJpegMagic + 1}) {
    VsxBuilder b;
    b.header.magic = magic;
    b.AddFrames({1});
    OpenedVsx f(b.Bytes());
    EXPECT_FALSE(f.opened) << std::hex << magic;
    EXPECT_TRUE(f.sink.shown.empty());
    EXPECT_EQ(f.streamFlag, 0xEEEEu);
  }
}

TEST(VsxReader, ExpectedTagIsTestedOnlyWhenGiven) {
  VsxBuilder b;
  FrameInfo foreign = SampleFrameInfo(2);
  foreign.formatTag = kJpegMagic;
  b.Add(SampleFrameInfo(1), TaggedPacket(90, 1), 1);
  b.Add(foreign, TaggedPacket(180, 2), 2);
  b.Add(SampleFrameInfo(3), TaggedPacket(270, 3), 2);
  OpenedVsx f(b.Bytes());
  ASSERT_TRUE(f.opened);
  CVsxFile& r = f.reader;

  r.SeekFilePointToBeginFrame();
  EXPECT_TRUE(r.ReadCurrentFrameInfo(0, kMpeg4Magic));
  EXPECT_FALSE(r.ReadCurrentFrameInfo(1, kMpeg4Magic));  // the JPEG tag in a MPEG-4 file
  EXPECT_EQ(r.GetCurrentFrameIndex(1), 2u);              // the header was read all the same

  r.SeekFilePointToBeginFrame();
  EXPECT_TRUE(r.ReadCurrentFrameInfo(0, 0));
  EXPECT_TRUE(r.ReadCurrentFrameInfo(1, 0));  // tag 0: no test
  EXPECT_TRUE(r.ReadCurrentFrameInfo(2, kMpeg4Magic));
  EXPECT_EQ(r.GetCurrentFrameIndex(2), 3u);
  EXPECT_FALSE(r.ReadCurrentFrameInfo(3, kMpeg4Magic));  // past the last frame
}

TEST(VsxReader, IndexAfterTheLastFrameFailsTheTagTest) {
  // Six entries make an index of 52 bytes: enough for a whole frame header.
  VsxBuilder b;
  b.AddFrames({1, 2, 2, 2, 2, 2});
  OpenedVsx f(b.Bytes());
  ASSERT_TRUE(f.opened);
  f.reader.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < 6; ++k) ASSERT_TRUE(f.reader.ReadCurrentFrameInfo(k, k == 0 ? 0 : kMpeg4Magic));
  EXPECT_FALSE(f.reader.ReadCurrentFrameInfo(6, kMpeg4Magic));
}

TEST(VsxReader, FramesFillTheRingSlotBySlotAndWrapAfter49) {
  VsxBuilder b;
  std::vector<uint32_t> types(53, 2);
  types[0] = 1;
  b.AddFrames(types);
  OpenedVsx f(b.Bytes());
  ASSERT_TRUE(f.opened);
  CVsxFile& r = f.reader;
  r.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < 53; ++k) ASSERT_TRUE(r.ReadCurrentFrameInfo(k % kRingSlots, 0)) << k;

  // Slots 0..2 now hold frames 51..53, slots 3..49 frames 4..50.
  const uint8_t* ring = r.state().frameRing.get();
  for (uint32_t slot : {0u, 1u, 2u, 3u, 48u, 49u}) {
    const uint32_t number = slot < 3 ? slot + 51 : slot + 1;
    EXPECT_EQ(r.GetCurrentFrameIndex(slot), number);
    EXPECT_EQ(r.GetCurrentFrameIndex(slot + kRingSlots), number);  // slot numbers wrap
    const std::vector<uint8_t> expected = TaggedPacket(number * 3600, static_cast<uint8_t>(number));
    const uint8_t* at = ring + slot * kFrameSlotSize;
    EXPECT_EQ(std::vector<uint8_t>(at, at + expected.size()), expected) << "slot " << slot;
    EXPECT_EQ(r.FrameSlot(slot), at);
    EXPECT_EQ(r.FrameSlot(slot + kRingSlots), at);
  }
}

TEST(VsxReader, MillisecondsOfAStreamTimeStamp) {
  OpenedVsx f([] {
    VsxBuilder b;
    b.AddFrames({1});
    return b.Bytes();
  }());
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 0}, {89, 0}, {90, 1}, {900000, 10000}, {0xFFFFFFFF, 47721858}};
  for (auto [pts, ms] : cases) EXPECT_EQ(f.reader.GetCurrentFrameTimestamp(0, pts), ms) << pts;
}

// ---------------------------------------------------------------------------
// PES parse.

struct PesCase {
  const char* name;
  std::vector<uint8_t> bytes;
  bool found;
  std::optional<uint32_t> pts;  // none: the output is left untouched
  uint32_t pictureType;         // 0: untouched
};

std::vector<PesCase> PesCases() {
  std::vector<uint8_t> noStamp = Packet({0xE0, std::nullopt, std::nullopt, false}, {0x12, 0x34});
  std::vector<uint8_t> dtsOnlyFlag = Packet({0xE0, 0x1234, std::nullopt, false}, {0x12});
  dtsOnlyFlag[7] = 0x40;  // flag pattern 01: no stamp to take
  std::vector<uint8_t> cut = Packet({0xE0, 0x1234, std::nullopt, false}, {});
  cut.resize(12);  // the stamp runs past the end
  std::vector<uint8_t> twoPackets = Packet({0xC0, 1000, std::nullopt, false}, {0x01, 0x02});
  Append(twoPackets, Packet({0xE0, 2000, std::nullopt, false}, PictureStart(2)));
  return {
      {"picture PTS only", Packet({0xE0, 0x12345678, std::nullopt, false}, {0x55}), true, 0x12345678, 0},
      {"PTS and DTS: the DTS is taken", Packet({0xE3, 5000, 4000, false}, {0x55}), true, 4000, 0},
      {"33-bit stamp loses its top bit", Packet({0xE0, 0x1ABCDEF01ull, std::nullopt, false}, {}), true,
       0xABCDEF01u, 0},
      {"all ones", Packet({0xE0, 0x1FFFFFFFFull, std::nullopt, false}, {}), true, 0xFFFFFFFFu, 0},
      {"sound packet", Packet({0xC0, 90000, std::nullopt, false}, std::vector<uint8_t>(64, 0x77)), true, 90000, 0},
      {"JPEG picture packet", Packet({0xD0, 45, std::nullopt, false}, {0xFF, 0xD8, 0xFF}), true, 45, 0},
      {"I picture", Packet({0xE0, 7, std::nullopt, false}, PictureStart(1)), true, 7, 1},
      {"P picture", Packet({0xE0, 7, std::nullopt, false}, PictureStart(2)), true, 7, 2},
      {"B picture", Packet({0xE0, 7, std::nullopt, false}, PictureStart(3)), true, 7, 3},
      {"S picture", Packet({0xE0, 7, std::nullopt, false}, PictureStart(4)), true, 7, 4},
      {"bare picture start", PictureStart(2), true, std::nullopt, 2},
      {"long head payload at 104", Packet({0xE0, 123456, std::nullopt, true}, PictureStart(1)), true, 123456, 1},
      {"last stamp of several", twoPackets, true, 2000, 2},
      {"no stamp, no picture", noStamp, false, std::nullopt, 0},
      {"flag pattern 01", dtsOnlyFlag, false, std::nullopt, 0},
      {"stamp cut off", cut, false, std::nullopt, 0},
      {"not a packet", {0x00, 0x00, 0x02, 0xE0, 0x00, 0x00, 0x80, 0x80, 0x05}, false, std::nullopt, 0},
      {"empty", {}, false, std::nullopt, 0},
  };
}

TEST(VsxReader, ParseFramePesFindsStampAndPictureType) {
  OpenedVsx f([] {
    VsxBuilder b;
    b.AddFrames({1});
    return b.Bytes();
  }());
  for (const PesCase& c : PesCases()) {
    SCOPED_TRACE(c.name);
    // Copied to an exact-size buffer so a read past the end is caught.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[c.bytes.size()]);
    if (!c.bytes.empty()) std::memcpy(bytes.get(), c.bytes.data(), c.bytes.size());
    uint32_t pts = 0xAAAA, width = 0xBBBB, height = 0xCCCC, reserved = 0xDDDD, type = 0;
    const bool ok = f.reader.ParseFramePes(bytes.get(), static_cast<uint32_t>(c.bytes.size()), &pts, &width,
                                           &height, &reserved, &type);
    EXPECT_EQ(ok, c.found);
    EXPECT_EQ(pts, c.pts.value_or(0xAAAA));
    EXPECT_EQ(type, c.pictureType);
    EXPECT_EQ(width, 0xBBBBu);  // this parse never sizes the picture
    EXPECT_EQ(height, 0xCCCCu);

    uint32_t pts2 = 0xAAAA, type2 = 0;
    EXPECT_EQ(f.reader.ParseMp4FramePes(bytes.get(), static_cast<uint32_t>(c.bytes.size()), &pts2, &width,
                                        &height, &reserved, &type2),
              c.found);
    EXPECT_EQ(pts2, pts);
    EXPECT_EQ(type2, type);
  }
}

TEST(VsxReader, ParseMp4FramePesSizesThePictureFromTheLayerHeader) {
  OpenedVsx f([] {
    VsxBuilder b;
    b.AddFrames({1});
    return b.Bytes();
  }());
  struct Case {
    uint32_t width, height;
  };
  for (const Case c : {Case{352, 240}, Case{720, 576}, Case{640, 456}, Case{176, 144}}) {
    std::vector<uint8_t> data = VideoObjectHeader(c.width, c.height);
    Append(data, PictureStart(1));
    const std::vector<uint8_t> packet = Packet({0xE0, 3600, std::nullopt, false}, data);
    uint32_t pts = 0, width = 0, height = 0, reserved = 0, type = 0;
    ASSERT_TRUE(f.reader.ParseMp4FramePes(packet.data(), static_cast<uint32_t>(packet.size()), &pts, &width,
                                          &height, &reserved, &type));
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(pts, 3600u);
    EXPECT_EQ(type, 1u);

    // The plain parse leaves the size alone.
    width = height = 7;
    ASSERT_TRUE(f.reader.ParseFramePes(packet.data(), static_cast<uint32_t>(packet.size()), &pts, &width, &height,
                                       &reserved, &type));
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(height, 7u);
  }
  // A video object start without a layer header is not a size, nor a failure
  // when a stamp was found.
  const std::vector<uint8_t> bare = Packet({0xE0, 90, std::nullopt, false}, {0x00, 0x00, 0x01, 0x00, 0x12});
  uint32_t pts = 0, width = 9, height = 9, reserved = 0, type = 0;
  EXPECT_TRUE(f.reader.ParseMp4FramePes(bare.data(), static_cast<uint32_t>(bare.size()), &pts, &width, &height,
                                        &reserved, &type));
  EXPECT_EQ(width, 9u);
  EXPECT_EQ(height, 9u);
}

TEST(PesPacket, TwentyTwoBitNumbersAndPayloadOffset) {
  for (uint32_t v : {0u, 1u, 0x7FFu, 0x800u, 0x12345u, 0x3FFFFFu, 102400u}) {
    const std::vector<uint8_t> bytes = Number22Bytes(v);
    EXPECT_EQ(Read22Bit(bytes.data()), v);
    uint8_t written[3];
    Write22Bit(written, v);
    EXPECT_EQ(std::vector<uint8_t>(written, written + 3), bytes) << v;
    EXPECT_EQ(written[0] & 0x80, 0x80);  // marker bits
    EXPECT_EQ(written[1] & 0x08, 0x08);
  }
  // Marker bits are not part of the value.
  const uint8_t allOnes[3] = {0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Read22Bit(allOnes), 0x3FFFFFu);

  for (uint64_t stamp : {0ull, 1ull, 0x7FFFull, 0x12345678ull, 0xFFFFFFFFull, 0x1ABCDEF01ull}) {
    const std::vector<uint8_t> bytes = PesStampBytes(stamp, 2);
    EXPECT_EQ(ReadPesStamp(bytes.data()), static_cast<uint32_t>(stamp));
    if (stamp <= 0xFFFFFFFF) {
      uint8_t written[5];
      WritePesStamp(written, static_cast<uint32_t>(stamp), 2);
      EXPECT_EQ(std::vector<uint8_t>(written, written + 5), bytes);
    }
  }

  const std::vector<uint8_t> shortHead = Packet({0xE0, 1, std::nullopt, false}, {1, 2, 3});
  const std::vector<uint8_t> longHead = Packet({0xE0, 1, std::nullopt, true}, {1, 2, 3});
  std::vector<uint8_t> markWithTopBit = longHead;
  markWithTopBit[20] = 0x80 | 83;
  EXPECT_EQ(PacketPayloadOffset(shortHead.data(), shortHead.size()), 32u);
  EXPECT_EQ(PacketPayloadOffset(longHead.data(), longHead.size()), 104u);
  EXPECT_EQ(PacketPayloadOffset(markWithTopBit.data(), markWithTopBit.size()), 104u);
  EXPECT_EQ(PacketPayloadOffset(longHead.data(), 20), 32u);  // too short to carry the mark
}

// ---------------------------------------------------------------------------
// Per-frame questions.

TEST(VsxReader, FrameKindsFromTheStreamByte) {
  OpenedVsx f([] {
    VsxBuilder b;
    b.AddFrames({1});
    return b.Bytes();
  }());
  struct Case {
    std::array<uint8_t, 4> bytes;
    uint8_t jpegKind, mp4Kind;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x01, 0xE0}, kFrameOther, kFramePicture},
      {{0x00, 0x00, 0x01, 0xEF}, kFrameOther, kFramePicture},  // channel 15
      {{0x00, 0x00, 0x01, 0xD0}, kFramePicture, kFrameOther},
      {{0x00, 0x00, 0x01, 0xD7}, kFramePicture, kFrameOther},
      {{0x00, 0x00, 0x01, 0xC0}, kFrameSound, kFrameSound},
      {{0x00, 0x00, 0x01, 0xC5}, kFrameSound, kFrameSound},
      {{0x00, 0x00, 0x01, 0xB6}, kFrameOther, kFrameOther},
      {{0x00, 0x00, 0x01, 0x00}, kFrameOther, kFrameOther},
      {{0x00, 0x00, 0x02, 0xE0}, kFrameOther, kFrameOther},
      {{0x01, 0x00, 0x01, 0xE0}, kFrameOther, kFrameOther},
      {{0xFF, 0xD8, 0xFF, 0xE0}, kFrameOther, kFrameOther},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(f.reader.GetJpegFrameKind(c.bytes.data()), c.jpegKind) << std::hex << int(c.bytes[3]);
    EXPECT_EQ(f.reader.GetMp4FrameKind(c.bytes.data()), c.mp4Kind) << std::hex << int(c.bytes[3]);
  }
}

TEST(VsxReader, NonAudioFrameIndexLooksBackForAPicture) {
  VsxBuilder b;
  b.AddFrames({0, 1, 0, 2, 0, 0, 3, 0});  // audio, key, audio, predicted, audio, audio, key, audio
  OpenedVsx f(b.Bytes());
  ASSERT_TRUE(f.opened);
  struct Case {
    uint32_t in;
    bool found;
    uint32_t out;
  };
  const Case cases[] = {{0, false, 0}, {1, false, 1}, {2, true, 2}, {3, true, 2}, {4, true, 4},
                        {6, true, 4},  {7, true, 7},  {8, true, 7}, {500, true, 7}};
  for (const Case& c : cases) {
    uint32_t index = c.in;
    EXPECT_EQ(f.reader.GetNonAudioFrameIndex(&index), c.found) << c.in;
    if (c.found) {
      EXPECT_EQ(index, c.out) << c.in;
    }
  }
}

TEST(VsxReader, PercentToFrameIndexUsesTheHeaderFrameCountAndLow16Bits) {
  VsxBuilder b;
  b.AddFrames({1, 2, 2, 2, 2, 2, 2});
  b.frameCount = 1000;  // the header's count, not the index's, is the base
  OpenedVsx f(b.Bytes());
  ASSERT_TRUE(f.opened);
  const std::pair<int, uint32_t> cases[] = {
      {0, 0}, {1, 10}, {50, 500}, {99, 990}, {100, 1000}, {0x10032, 500}, {0x7FFF0000, 0}, {-1, 655350},
  };
  for (auto [percent, index] : cases) EXPECT_EQ(f.reader.PercentToFrameIndex(percent), index) << percent;
}

TEST(VsxReader, RecordStyleTexts) {
  const std::pair<uint8_t, const char*> cases[] = {
      {1, "Trigger Record"}, {2, "User Record"}, {3, "Schedule Record"}, {0, "unchanged"}, {4, "unchanged"}};
  for (auto [style, text] : cases) {
    VsxBuilder b;
    b.header.recordStyle = style;
    b.AddFrames({1});
    OpenedVsx f(b.Bytes());
    ASSERT_TRUE(f.opened);
    std::string out = "unchanged";
    f.reader.GetRecordStyleText(&out);
    EXPECT_EQ(out, text) << int(style);
  }
}

TEST(RecFile, OperationsAReaderDoesNotProvideAreLoggedWithTheirDefaults) {
  RecordingSink sink;
  CRecFile base(sink);
  SYSTEMTIME t;
  EXPECT_EQ(base.GetFileResolution(), 0);
  EXPECT_FALSE(base.GetFileTimestamp(&t));
  EXPECT_FALSE(base.SetFilePointerToPreIFrame(3));
  EXPECT_FALSE(base.ReadCurrentFrameInfo(0, 0));
  EXPECT_EQ(base.PercentToFrameIndex(50), 0u);
  EXPECT_EQ(base.CreateVsxFileAndFormat(0), nullptr);
  EXPECT_EQ(base.WriteVsxCurrentFrame(nullptr, nullptr, 0, 0, 1, 7), 7u);
  EXPECT_TRUE(base.IsMatchFormat(5));
  const uint8_t packet[4] = {0, 0, 1, 0xC0};
  EXPECT_EQ(base.GetMp4FrameKind(packet), kFramePicture);
  uint32_t w = 5, h = 5;
  EXPECT_TRUE(base.ParseFramePes(packet, 4, nullptr, &w, &h, nullptr, nullptr));
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 0u);
  EXPECT_TRUE(sink.shown.empty());
  EXPECT_EQ(sink.logged, (std::vector<std::string>{
                             "GetFileResolution : here is virtual function",
                             "GetFileTimestamp : here is virtual function",
                             "SetFilePointerToPreIFrame : here is virtual function",
                             "ReadCurrentFrameInfo : here is virtual function",
                             "PercentToFrameIndex : here is virtual function",
                             "CreateVsxFileAndFormat : here is virtual function",
                             "WriteVsxCurrentFrame : here is virtual function",
                         }));
}

}  // namespace
}  // namespace tsv::test
