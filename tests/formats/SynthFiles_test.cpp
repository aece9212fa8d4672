// Recordings written by the synthesizer, checked byte by byte: headers,
// frame headers, index, packets, sound state, and the output rules.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/Mpeg4TestDecoder.h"
#include "formats/PesPacket.h"
#include "formats/QrvLayout.h"
#include "formats/VsxLayout.h"
#include "media/ImaAdpcm.h"
#include "media/jpeg/JpegPicture.h"
#include "platform/ByteIO.h"
#include "support/TestSupport.h"
#include "synth/SoundSynth.h"
#include "synth/Synthesizer.h"

namespace tsv {
namespace {

using test::ReadBytes;
using test::TempDir;

struct Frame {
  RecIndexEntry entry;
  FrameInfo info;         // ".vs4"
  QrvFrameHeader qrv;     // ".vse"
  std::size_t headerLength = 0;
  std::vector<uint8_t> payload;
};

struct Recording {
  std::vector<uint8_t> bytes;
  std::vector<Frame> frames;
};

// Walks the frames from the first one and checks that the index at the end
// points at each of them in turn, numbered 1, 2, 3...
Recording ReadRecording(const std::string& path, bool qrv) {
  Recording r;
  r.bytes = ReadBytes(path);
  const std::vector<uint8_t>& b = r.bytes;
  if (b.size() < 4) {
    ADD_FAILURE() << "no file";
    return r;
  }
  const uint32_t n = GetU32LE(b.data() + b.size() - 4);
  const std::size_t indexAt = b.size() - 4 - std::size_t{8} * n;
  std::size_t at = qrv ? kQrvFirstFrameOffset : kVsxHeaderSize;
  for (uint32_t i = 0; i < n; ++i) {
    Frame f;
    f.entry = ParseIndexEntry(b.data() + indexAt + std::size_t{8} * i);
    EXPECT_EQ(f.entry.offset, at) << "index entry " << i;
    std::size_t size = 0;
    if (qrv) {
      f.headerLength = ParseQrvFrameHeader(b.data() + at, indexAt - at, &f.qrv);
      EXPECT_NE(f.headerLength, 0u) << "frame header " << i;
      EXPECT_EQ(f.qrv.frameNumber, i + 1);
      size = f.qrv.payloadSize;
    } else {
      f.headerLength = kFrameInfoSize;
      f.info = ParseFrameInfo(b.data() + at);
      EXPECT_EQ(f.info.frameNumber, i + 1);
      size = f.info.payloadSize;
    }
    at += f.headerLength;
    if (f.headerLength == 0 || at + size > indexAt) {
      ADD_FAILURE() << "frame " << i + 1 << " runs into the index";
      return r;
    }
    f.payload.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
    r.frames.push_back(std::move(f));
  }
  EXPECT_EQ(at, indexAt) << "the index follows the last frame";
  return r;
}

std::string Make(const SynthOptions& o, const TempDir& dir, const std::string& name) {
  const std::string path = dir.File(name);
  std::string error;
  EXPECT_TRUE(Synthesize(o, path, &error)) << error;
  return path;
}

bool HasStrayStartCode(const std::vector<uint8_t>& p, std::size_t headSize) {
  for (std::size_t i = 1; i + 2 < headSize; ++i) {
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return true;
  }
  return false;
}

std::size_t HeadSize(const std::vector<uint8_t>& packet) {
  return (packet[3] & 0xF0) == kSoundStream ? kSoundPacketHead : PacketPayloadOffset(packet.data(), packet.size());
}

SYSTEMTIME Time(const char* text) { return *ParseSystemTime(text); }

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    signal += double(reference[i]) * reference[i];
    noise += (double(reference[i]) - decoded[i]) * (double(reference[i]) - decoded[i]);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

SynthOptions SmallVsx() {
  SynthOptions o;
  o.resolutionCode = 4;  // 176 x 112
  o.frames = 12;
  o.rate = 10;
  o.keyInterval = 5;
  o.sound = true;
  o.start = Time("2026-03-05 10:15:30.250");
  o.firstFrameTimeMs = 5000;
  o.ipAddress = 0x0302010A;  // 10.1.2.3
  o.channel = 3;
  o.recordStyle = 2;
  return o;
}

TEST(SynthFiles, VsxMpeg4WithSound) {
  TempDir dir;
  const SynthOptions o = SmallVsx();
  const Recording r = ReadRecording(Make(o, dir, "a.vs4"), false);
  // 12 pictures 100 ms apart and 1.2 s of sound in 128 ms frames.
  ASSERT_EQ(r.frames.size(), 22u);

  const VsxFileHeader h = ParseVsxFileHeader(r.bytes.data());
  EXPECT_EQ(h.frameCount, 22u);
  EXPECT_EQ(h.startTime, 5u);
  EXPECT_EQ(h.endTime, 6u);  // the last sound frame starts at 6152 ms
  EXPECT_EQ(std::vector<uint8_t>(r.bytes.begin() + 12, r.bytes.begin() + 16), (std::vector<uint8_t>{10, 1, 2, 3}));
  EXPECT_EQ(h.resolutionCode, 4);
  EXPECT_EQ(h.recordStyle, 2);
  EXPECT_EQ(h.fileTimestamp, o.start);
  EXPECT_EQ(h.magic, kMpeg4Magic);
  EXPECT_EQ(h.audioMode, 0);
  EXPECT_EQ(h.sourceFormat, 0);

  uint32_t pictures = 0, sounds = 0;
  std::optional<uint32_t> lastPicture, lastSound;
  AdpcmDecoderState decoder;
  std::vector<int16_t> decoded;
  for (const Frame& f : r.frames) {
    const std::vector<uint8_t>& p = f.payload;
    const bool sound = p[3] == kSoundStream;
    const uint32_t timeMs = sound ? 5000 + 128 * sounds : 5000 + 100 * pictures;
    SCOPED_TRACE("frame " + std::to_string(f.info.frameNumber));
    ASSERT_GE(p.size(), kPacketShortHead + 4);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[2], 1);
    EXPECT_EQ(Read22Bit(p.data() + 24), p.size());
    EXPECT_EQ(Read22Bit(p.data() + 21), p.size() - HeadSize(p));
    EXPECT_EQ(p[6], 0x80);
    EXPECT_EQ(p[7], 0x80);
    EXPECT_EQ(ReadPesStamp(p.data() + 9), timeMs * 90);
    EXPECT_FALSE(HasStrayStartCode(p, HeadSize(p)));
    EXPECT_EQ(f.info.formatTag, kMpeg4Magic);
    EXPECT_EQ(f.info.resolutionCode, 4);
    EXPECT_EQ(f.info.channel, 3);
    EXPECT_EQ(f.info.timestamp, SynthFrameTimestamp(o, timeMs));
    std::optional<uint32_t>& last = sound ? lastSound : lastPicture;
    EXPECT_EQ(f.info.timerInterval, last ? timeMs - *last : 65535u);
    last = timeMs;

    const PesScan scan = ScanPes(p.data(), p.size(), true);
    EXPECT_EQ(scan.pts, timeMs * 90);
    if (sound) {
      EXPECT_EQ(f.entry.type, kVsxAudioFrame);
      EXPECT_EQ(p.size(), kSoundPacketHead + 512);
      // Each frame starts where the decoder left off after the one before.
      EXPECT_EQ(f.info.adpcm.stepIndex, static_cast<uint32_t>(decoder.stepIndex));
      EXPECT_EQ(f.info.adpcm.predictor, static_cast<uint32_t>(decoder.predictor));
      std::vector<int16_t> block(1024);
      DecodeAdpcmBlock(decoder, 512, p.data() + kSoundPacketHead, block.data(), f.info.adpcm.stepIndex,
                       f.info.adpcm.predictor);
      decoded.insert(decoded.end(), block.begin(), block.end());
      ++sounds;
      continue;
    }
    EXPECT_EQ(p[3], 0xE3);  // picture stream of channel 3
    const bool key = pictures % 5 == 0;
    EXPECT_EQ(f.entry.type, key ? kVsxKeyFrame : kVsxPredictedFrame);
    EXPECT_EQ(scan.pictureType, key ? 1u : 2u);
    if (key) {
      EXPECT_EQ(std::vector<uint8_t>(p.begin() + 32, p.begin() + 36), (std::vector<uint8_t>{0, 0, 1, 0x00}));
      EXPECT_TRUE(scan.found & kPesFoundSize);
      EXPECT_EQ(scan.width, 176u);
      EXPECT_EQ(scan.height, 112u);
    } else {
      EXPECT_EQ(std::vector<uint8_t>(p.begin() + 32, p.begin() + 36), (std::vector<uint8_t>{0, 0, 1, 0xB6}));
    }
    ++pictures;
  }
  EXPECT_EQ(pictures, 12u);
  EXPECT_EQ(sounds, 10u);
  // Frame order: sound at 5000 comes before the picture at 5000.
  EXPECT_EQ(r.frames[0].payload[3], kSoundStream);
  EXPECT_EQ(r.frames[1].payload[3], 0xE3);
  // Times of the first frames, written out.
  EXPECT_EQ(r.frames[0].info.timestamp, Time("2026-03-05 10:15:30.250"));
  EXPECT_EQ(r.frames[2].info.timestamp, Time("2026-03-05 10:15:30.350"));

  std::vector<int16_t> reference(decoded.size());
  for (size_t i = 0; i < reference.size(); ++i) reference[i] = SynthSoundSample(i);
  EXPECT_GT(SnrDb(reference, decoded), 20.0);
}

TEST(SynthFiles, PictureTimesAndClockFollowTheRate) {
  SynthOptions o;
  o.rate = 3;
  o.firstFrameTimeMs = 0;
  o.start = Time("2026-12-31 23:59:59.500");
  EXPECT_EQ(SynthPictureTimeMs(o, 0), 0u);
  EXPECT_EQ(SynthPictureTimeMs(o, 1), 333u);
  EXPECT_EQ(SynthPictureTimeMs(o, 2), 666u);
  EXPECT_EQ(SynthPictureTimeMs(o, 3), 1000u);
  EXPECT_EQ(SynthFrameTimestamp(o, 666), Time("2027-01-01 00:00:00.166"));
}

struct VariantCase {
  const char* name;
  void (*set)(SynthOptions&);
};

TEST(SynthFiles, PacketHeadVariants) {
  TempDir dir;
  SynthOptions base = SmallVsx();
  base.sound = false;
  base.frames = 6;
  base.keyInterval = 2;

  {  // Long head: byte 20 says 83, picture data at 104.
    SynthOptions o = base;
    o.longHead = true;
    const Recording r = ReadRecording(Make(o, dir, "long.vs4"), false);
    ASSERT_EQ(r.frames.size(), 6u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
      const std::vector<uint8_t>& p = r.frames[i].payload;
      EXPECT_EQ(p[20], 83);
      EXPECT_EQ(p[8], 104 - 9);
      EXPECT_EQ(PacketPayloadOffset(p.data(), p.size()), 104u);
      EXPECT_EQ(p[107], i % 2 == 0 ? 0x00 : 0xB6);
      EXPECT_FALSE(HasStrayStartCode(p, 104));
      EXPECT_EQ(ScanPes(p.data(), p.size(), false).pts, (5000 + 100 * i) * 90);
    }
  }
  {  // Decoding time stamps: flags 0xC0, the stamp repeated at byte 14.
    SynthOptions o = base;
    o.withDts = true;
    const Recording r = ReadRecording(Make(o, dir, "dts.vs4"), false);
    ASSERT_EQ(r.frames.size(), 6u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
      const std::vector<uint8_t>& p = r.frames[i].payload;
      EXPECT_EQ(p[7], 0xC0);
      EXPECT_EQ(p[9] >> 4, 3);
      EXPECT_EQ(p[14] >> 4, 1);
      EXPECT_EQ(ReadPesStamp(p.data() + 14), (5000 + 100 * i) * 90);
      EXPECT_EQ(ScanPes(p.data(), p.size(), false).pts, (5000 + 100 * i) * 90);
    }
  }
  {  // Alternate key type: 1, 3, 1 for the key pictures.
    SynthOptions o = base;
    o.alternateKeyType = true;
    const Recording r = ReadRecording(Make(o, dir, "alt.vs4"), false);
    std::vector<uint32_t> types;
    for (const Frame& f : r.frames) types.push_back(f.entry.type);
    EXPECT_EQ(types, (std::vector<uint32_t>{1, 2, 3, 2, 1, 2}));
  }
}

TEST(SynthFiles, ConvertedChainCarriesPackedTimes) {
  TempDir dir;
  SynthOptions o = SmallVsx();
  o.predictedMode = 0;
  o.frames = 3;
  o.start = Time("2026-03-05 10:15:30");
  o.firstFrameTimeMs = 0;
  const Recording r = ReadRecording(Make(o, dir, "chain.vs4"), false);
  const VsxFileHeader h = ParseVsxFileHeader(r.bytes.data());
  EXPECT_EQ(h.sourceFormat, 102);
  EXPECT_EQ(h.audioMode, 1);
  // 2026-03-05 10:15:30: year 26, month 3, day 5, hour 10, minute 15, second 30.
  const uint32_t w = (26u << 26) | (3u << 22) | (5u << 17) | (10u << 12) | (15u << 6) | 30u;
  const std::vector<uint8_t>& p = r.frames[0].payload;
  EXPECT_EQ(p[27] & 0x10, 0);
  EXPECT_EQ((uint32_t(p[28]) << 24) | (p[29] << 16) | (p[30] << 8) | p[31], w);
}

TEST(SynthFiles, VsxJpegPicturesDecodeToTheInput) {
  TempDir dir;
  SynthOptions o = SmallVsx();
  o.codec = SynthCodec::Jpeg;
  o.sound = false;
  o.frames = 3;
  o.resolutionCode = 0;  // 352 x 240
  const Recording r = ReadRecording(Make(o, dir, "j.vs4"), false);
  EXPECT_EQ(ParseVsxFileHeader(r.bytes.data()).magic, kJpegMagic);
  ASSERT_EQ(r.frames.size(), 3u);
  std::vector<uint8_t> picture(352 * 240 * 3);
  for (uint32_t k = 0; k < 3; ++k) {
    const Frame& f = r.frames[k];
    EXPECT_EQ(f.payload[3], kJpegStream);
    EXPECT_EQ(f.entry.type, kVsxKeyFrame);
    EXPECT_EQ(f.info.formatTag, kJpegMagic);
    EXPECT_EQ(f.payload[32], 0xFF);
    EXPECT_EQ(f.payload[33], 0xD8);
    uint16_t w = 0, h = 0;
    ASSERT_TRUE(DecodeJpegPicture(f.payload.data() + 32, f.payload.size() - 32, picture.data(), picture.size(), 352,
                                  240, &w, &h));
    YuvPicture input;
    SynthPicture(o, k, &input);
    EXPECT_GT(test::PsnrBytes(picture, ToBgrBottomUp(input)), 30.0) << "picture " << k;
  }
}

TEST(SynthFiles, VsxSoundOnly) {
  TempDir dir;
  SynthOptions o = SmallVsx();
  o.soundOnly = true;
  const Recording r = ReadRecording(Make(o, dir, "s.vs4"), false);
  ASSERT_EQ(r.frames.size(), 10u);
  EXPECT_EQ(ParseVsxFileHeader(r.bytes.data()).audioMode, 2);
  for (const Frame& f : r.frames) {
    EXPECT_EQ(f.entry.type, kVsxAudioFrame);
    EXPECT_EQ(f.payload[3], kSoundStream);
  }
}

TEST(SynthFiles, EveryQrvStreamType) {
  struct Case {
    uint8_t type;
    uint8_t pictureStream;  // 0: no pictures
    int mode;               // MPEG-4 reference rule
  };
  const Case cases[] = {{0, 0xD0, -1}, {1, 0xE0, 0}, {2, 0xE0, 1}, {3, 0xD0, -1},
                        {4, 0xE0, 0},  {5, 0xE0, 1}, {6, 0, -1}};
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE("stream type " + std::to_string(c.type));
    SynthOptions o;
    o.layout = SynthLayout::Qrv;
    o.streamType = c.type;
    o.resolutionCode = 7;  // 320 x 228
    o.frames = 5;
    o.keyInterval = 3;
    o.sound = true;
    o.firstFrameTimeMs = 1000;
    o.start = Time("2026-03-05 10:15:30");
    o.recordStyle = 4;
    const Recording r = ReadRecording(Make(o, dir, "t" + std::to_string(c.type) + ".vse"), true);
    const QrvFileHeader h = ParseQrvFileHeader(r.bytes.data());
    EXPECT_EQ(GetU16LE(r.bytes.data() + 80), 0xFFFF);
    EXPECT_EQ(h.streamType, c.type);
    EXPECT_EQ(h.recordStyle, 4);
    EXPECT_EQ(h.frameCount, r.frames.size());
    EXPECT_EQ(h.startTimestamp, o.start);
    EXPECT_EQ(h.startTime, 1000u);
    // Pictures at 1000..1160 ms, 200 ms of sound in frames at 1000 and 1128.
    EXPECT_EQ(h.endTime, c.pictureStream ? 1160u : 1128u);
    ASSERT_EQ(r.frames.size(), c.pictureStream ? 7u : 2u);

    uint32_t k = 0;
    std::vector<test::Packet> data;
    for (const Frame& f : r.frames) {
      const std::vector<uint8_t>& p = f.payload;
      EXPECT_EQ(p[0] | p[1], 0);
      EXPECT_EQ(p[2], 1);
      EXPECT_EQ(Read22Bit(p.data() + 24), p.size());
      EXPECT_EQ(f.qrv.frameTime, ReadPesStamp(p.data() + 9) / 90);
      if (p[3] == kSoundStream) {
        EXPECT_EQ(f.qrv.flags, 0x33u);
        EXPECT_EQ(f.entry.type, kQrvAudioFrame);
        // No state is stored: the frame decodes from rest on its own.
        std::vector<int16_t> block(1024), reference(1024);
        AdpcmDecoderState state;
        DecodeAdpcmBlock(state, 512, p.data() + 64, block.data(), 0, 0);
        const uint32_t first = (f.qrv.frameTime - 1000) / 128 * 1024;
        for (size_t i = 0; i < reference.size(); ++i) reference[i] = SynthSoundSample(first + i);
        EXPECT_GT(SnrDb(reference, block), 15.0);
        continue;
      }
      EXPECT_EQ(p[3], c.pictureStream);
      EXPECT_EQ(f.qrv.flags, 0x3Fu);
      EXPECT_EQ(f.qrv.width, 320);
      EXPECT_EQ(f.qrv.height, 228);
      EXPECT_EQ(f.qrv.frameTime, 1000 + 40 * k);
      const bool key = c.mode < 0 || k % 3 == 0;
      EXPECT_EQ(f.entry.type, key ? kQrvKeyFrameAlt : kQrvPredictedFrame);
      // Packed local time of the frame at bytes 27..31: the second.
      EXPECT_EQ(p[31] & 63, 30);
      data.emplace_back(p.begin() + 32, p.end());
      ++k;
    }
    if (c.mode < 0) continue;
    // Decode by the stream's own reference rule: the chain in order, or a
    // predicted picture right after its key picture.
    std::vector<const test::Packet*> chain;
    for (const auto& d : data) chain.push_back(&d);
    const std::vector<YuvPicture> sequential = test::DecodeFresh(chain);
    ASSERT_EQ(sequential.size(), data.size());
    for (uint32_t j = 0; j < data.size(); ++j) {
      YuvPicture input;
      SynthPicture(o, j, &input);
      const YuvPicture decoded =
          c.mode == 0 ? sequential[j] : test::DecodeFresh({&data[j - j % 3], &data[j]}).back();
      EXPECT_GT(test::Psnr(decoded, input), 30.0) << "picture " << j;
    }
  }
}

TEST(SynthFiles, QrvOptions) {
  TempDir dir;
  SynthOptions o;
  o.layout = SynthLayout::Qrv;
  o.streamType = kQrvStreamJpeg;
  o.resolutionCode = 9;  // 320 x 276
  o.frames = 2;
  o.bareJpeg = true;
  o.alternateKeyType = true;
  o.qrvExtraBytes = true;
  const Recording r = ReadRecording(Make(o, dir, "bare.vse"), true);
  ASSERT_EQ(r.frames.size(), 2u);
  std::vector<uint8_t> picture(320 * 276 * 3);
  for (const Frame& f : r.frames) {
    EXPECT_EQ(f.qrv.flags, 0xFFu);
    EXPECT_EQ(f.headerLength, 4u + 4 + 4 + 2 + 2 + 4 + 1 + 1 + 1 + 2);
    EXPECT_EQ(f.qrv.extra1, static_cast<uint8_t>(f.qrv.frameNumber));
    EXPECT_EQ(f.entry.type, kQrvKeyFrame);
    EXPECT_EQ(f.payload[0], 0xFF);
    EXPECT_EQ(f.payload[1], 0xD8);
    uint16_t w = 0, h = 0;
    EXPECT_TRUE(DecodeJpegPicture(f.payload.data(), f.payload.size(), picture.data(), picture.size(), 0, 0, &w, &h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 276);
  }
}

TEST(SynthFiles, EveryResolutionCode) {
  TempDir dir;
  for (SynthLayout layout : {SynthLayout::Vsx, SynthLayout::Qrv}) {
    const bool qrv = layout == SynthLayout::Qrv;
    for (uint8_t code = 0; code < 15; ++code) {
      SCOPED_TRACE((qrv ? "qrv code " : "vsx code ") + std::to_string(code));
      SynthOptions o;
      o.layout = layout;
      o.resolutionCode = code;
      o.frames = 1;
      const std::string path = dir.File("r" + std::to_string(code) + (qrv ? ".vse" : ".vs4"));
      std::string error;
      const bool made = Synthesize(o, path, &error);
      const std::optional<PictureSize> size = qrv ? std::nullopt : VsxDecodeSize(code);
      const bool expected = qrv ? (code <= 3 || (code >= 6 && code <= 9)) : size.has_value();
      ASSERT_EQ(made, expected) << error;
      if (!made) {
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(ReadBytes(path).empty()) << "no file for a refused code";
        continue;
      }
      const Recording r = ReadRecording(path, qrv);
      ASSERT_EQ(r.frames.size(), 1u);
      const PesScan scan = ScanPes(r.frames[0].payload.data(), r.frames[0].payload.size(), true);
      ASSERT_TRUE(scan.found & kPesFoundSize);
      if (qrv) {
        EXPECT_EQ(scan.width, r.frames[0].qrv.width);
        EXPECT_EQ(scan.height, r.frames[0].qrv.height);
        EXPECT_EQ(QrvCodeForSize(r.frames[0].qrv.width, r.frames[0].qrv.height, false), code);
      } else {
        EXPECT_EQ(ParseVsxFileHeader(r.bytes.data()).resolutionCode, code);
        EXPECT_EQ(r.frames[0].info.resolutionCode, code);
        EXPECT_EQ(scan.width, size->width);
        EXPECT_EQ(scan.height, size->height);
      }
    }
  }
}

TEST(SynthFiles, NeverReplacesAFile) {
  TempDir dir;
  const std::string path = dir.File("taken.vs4");
  test::WriteBytes(path, {'k', 'e', 'e', 'p'});
  SynthOptions o;
  o.frames = 2;
  std::string error;
  EXPECT_FALSE(Synthesize(o, path, &error));
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(test::ListFolder(dir.path()), (std::vector<std::string>{"taken.vs4"}));
}

TEST(SynthFiles, AFailedRunLeavesNothing) {
  TempDir dir;
  std::string error;
  {  // A 720 x 576 picture at JPEG quality 100 does not fit a 102400-byte
     // frame slot; the run stops after the output file was begun.
    SynthOptions o;
    o.codec = SynthCodec::Jpeg;
    o.resolutionCode = 12;
    o.jpegQuality = 100;
    o.frames = 2;
    EXPECT_FALSE(Synthesize(o, dir.File("big.vs4"), &error));
    EXPECT_NE(error.find("102400"), std::string::npos) << error;
    EXPECT_TRUE(test::ListFolder(dir.path()).empty());
  }
  {  // A folder that does not exist.
    SynthOptions o;
    o.frames = 1;
    error.clear();
    EXPECT_FALSE(Synthesize(o, dir.File("missing/x.vs4"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(test::ListFolder(dir.path()).empty());
  }
}

}  // namespace
}  // namespace tsv
