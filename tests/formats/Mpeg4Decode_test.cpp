// Pictures of synthesized recordings through the readers' decode
// operations, compared with what went into the encoder: MPEG-4 in both
// reference rules and JPEG, upright, in any order within a key range for
// key-referenced streams, across a change of picture size, and field
// pictures line-doubled. Also the decoder entry's results for input it
// must refuse, and decoder set-up and tear-down without leaks (run under
// the asan preset).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "formats/Mpeg4TestDecoder.h"
#include "formats/PesPacket.h"
#include "media/VideoDecoder.h"
#include "media/mpeg4/Mpeg4Decoder.h"
#include "media/mpeg4/Mpeg4DecoderEntry.h"
#include "media/mpeg4/OutputConversion.h"
#include "support/TestSupport.h"
#include "synth/Mpeg4StreamEncoder.h"
#include "synth/Synthesizer.h"

namespace tsv {
namespace {

using test::PsnrBytes;
using Bytes = std::vector<uint8_t>;

// Decoded pictures must be at least this close to the encoder's input (dB).
constexpr double kGoodPsnr = 30.0;

// Picture k as the player shows a loss-free copy of the encoder's input:
// JPEG pictures as they are; MPEG-4 pictures through the output conversion,
// whose de-interlace filter blends away strokes one row high (those of the
// clock's small font do move a loss-free 352 x 240 picture to about 29.5 dB
// of its input). The conversion itself is checked against its rules in
// tests/media/OutputConversion_test.cpp.
Bytes Shown(const YuvPicture& p) {
  YuvPlanes planes;
  planes.y = p.y.data();
  planes.u = p.u.data();
  planes.v = p.v.data();
  planes.yStride = p.width;
  planes.uStride = planes.vStride = p.width / 2;
  planes.width = p.width;
  planes.height = p.height;
  Bytes scratch(p.y.size()), out(p.y.size() * 3);
  ConvertOutput1(planes, scratch.data(), out.data(), static_cast<std::size_t>(p.width) * 3);
  return out;
}

Bytes Expected(const SynthOptions& o, uint32_t k) {
  YuvPicture p;
  SynthPicture(o, k, &p);
  return SynthUsesMpeg4(o) ? Shown(p) : ToBgrBottomUp(p);
}

// The picture with its rows in the opposite order.
Bytes Flipped(const Bytes& picture, int width, int height) {
  Bytes out(picture.size());
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y)
    std::copy_n(picture.data() + y * row, row, out.data() + (height - 1 - y) * row);
  return out;
}

Bytes Prefix(const Bytes& buffer, int width, int height) {
  return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(width) * height * 3);
}

// A recording written by the synthesizer and opened as the player's
// per-file set-up does it: the decoder is created before the open step,
// which configures it for the file.
struct Opened {
  test::TempDir dir;
  NullMessageSink sink;
  SynthOptions options;
  std::unique_ptr<CRecFile> reader;
  bool mpeg4 = false;
  // Frame-ring slot each picture of ReadPictures was read into.
  std::vector<uint32_t> pictureSlots;

  explicit Opened(const SynthOptions& o) : options(o) {
    const bool vsx = o.layout == SynthLayout::Vsx;
    const std::string path = dir.File(vsx ? "rec.vs4" : "rec.vse");
    std::string error;
    EXPECT_TRUE(Synthesize(o, path, &error)) << error;
    if (vsx) reader = std::make_unique<CVsxFile>(sink);
    else reader = std::make_unique<CZKQRV>(sink);
    EXPECT_TRUE(CreateMpeg4Decoder(reader->state().decoder));
    uint32_t flag = 0;
    EXPECT_TRUE(reader->OpenFileToGetDecoder(path, &flag));
    mpeg4 = (reader->state().decoder.kind & 0xFF) == kDecoderMpeg4;
  }

  PlaybackState& state() { return reader->state(); }

  // Reads every frame from the start, as the engine's reader thread does,
  // and returns the payloads of the picture frames in order.
  std::vector<Bytes> ReadPictures() {
    PlaybackState& st = state();
    std::vector<Bytes> pictures;
    reader->SeekFilePointToBeginFrame();
    for (uint32_t k = 0; k < st.indexCount; ++k) {
      const uint32_t slot = k % kRingSlots;
      if (!reader->ReadCurrentFrameInfo(slot, k ? st.fileMagic : 0)) {
        ADD_FAILURE() << "frame " << k << " cannot be read";
        break;
      }
      const uint8_t* payload = reader->FrameSlot(slot);
      const uint32_t size = reader->GetCurrentFrameSize(slot);
      const uint8_t kind = mpeg4 ? reader->GetMp4FrameKind(payload) : reader->GetJpegFrameKind(payload);
      if (kind != kFramePicture) continue;
      pictures.emplace_back(payload, payload + size);
      pictureSlots.push_back(slot);
    }
    return pictures;
  }

  // The decode thread's call for one picture payload.
  bool Decode(const Bytes& payload, uint8_t* picture, uint16_t* width, uint16_t* height) {
    PlaybackState& st = state();
    if (!mpeg4)
      return reader->DoJpegDecode(payload.data(), static_cast<uint32_t>(payload.size()), picture, width, height);
    uint32_t pts = 0, w = 0, h = 0, reserved = 0, pictureType = 0;
    reader->ParseMp4FramePes(payload.data(), static_cast<uint32_t>(payload.size()), &pts, &w, &h, &reserved,
                             &pictureType);
    *width = st.decoder.width;
    *height = st.decoder.height;
    return reader->DoMp4Decode(payload.data(), static_cast<uint32_t>(payload.size()), 1, pictureType, width, height,
                               picture);
  }

  // Decodes picture k and returns its PSNR against the encoder's input.
  double DecodeAndCompare(const std::vector<Bytes>& payloads, uint32_t k, Bytes* picture) {
    uint16_t w = 0, h = 0;
    if (!Decode(payloads[k], picture->data(), &w, &h)) {
      ADD_FAILURE() << "picture " << k << " does not decode";
      return 0;
    }
    return PsnrBytes(Prefix(*picture, w, h), Expected(options, k));
  }
};

TEST(Mpeg4Decode, RecordingsDecodeUprightToTheirInput) {
  struct Case {
    const char* name;
    SynthLayout layout;
    SynthCodec codec;
    int mode;            // ".vs4": reference rule
    uint8_t streamType;  // ".vse"
    bool sound;
    uint32_t expectedMode;  // the reference rule the open step configures
  };
  const Case cases[] = {
      {"vs4 chain", SynthLayout::Vsx, SynthCodec::Mpeg4, 0, 0, true, 0},
      {"vs4 key-referenced", SynthLayout::Vsx, SynthCodec::Mpeg4, 1, 0, true, 1},
      {"vs4 jpeg", SynthLayout::Vsx, SynthCodec::Jpeg, 1, 0, true, 1},
      {"vse type 1 chain", SynthLayout::Qrv, SynthCodec::Mpeg4, 0, 1, true, 0},
      {"vse type 4 chain", SynthLayout::Qrv, SynthCodec::Mpeg4, 0, 4, false, 0},
      {"vse type 2 key-referenced", SynthLayout::Qrv, SynthCodec::Mpeg4, 0, 2, true, 1},
      {"vse type 5 key-referenced", SynthLayout::Qrv, SynthCodec::Mpeg4, 0, 5, false, 1},
      {"vse type 0 jpeg", SynthLayout::Qrv, SynthCodec::Jpeg, 0, 0, false, 1},
      {"vse type 3 jpeg", SynthLayout::Qrv, SynthCodec::Jpeg, 0, 3, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SynthOptions o;
    o.layout = c.layout;
    o.codec = c.codec;
    o.predictedMode = c.mode;
    o.streamType = c.streamType;
    o.frames = 20;
    o.keyInterval = 10;
    o.sound = c.sound;
    Opened r(o);
    EXPECT_EQ(r.mpeg4, SynthUsesMpeg4(o));
    if (r.mpeg4) {
      EXPECT_EQ(r.state().decoder.predictedStreamMode, c.expectedMode);
    }
    const std::vector<Bytes> payloads = r.ReadPictures();
    ASSERT_EQ(payloads.size(), 20u);
    Bytes picture(kPictureSlotBytes);
    for (uint32_t k = 0; k < payloads.size(); ++k) {
      uint16_t w = 0, h = 0;
      r.state().readSlotIndex = r.pictureSlots[k];  // where the JPEG path finds the frame's size
      ASSERT_TRUE(r.Decode(payloads[k], picture.data(), &w, &h)) << "picture " << k;
      ASSERT_EQ(w, 352);
      ASSERT_EQ(h, 240);
      const Bytes got = Prefix(picture, w, h);
      const Bytes expected = Expected(o, k);
      const double psnr = PsnrBytes(got, expected);
      EXPECT_GT(psnr, kGoodPsnr) << "picture " << k;
      // Upside down it would be far off.
      EXPECT_LT(PsnrBytes(Flipped(got, w, h), expected), psnr - 10) << "picture " << k;
      // The clock's strokes are two rows high, so the picture also matches
      // the encoder's input itself, not only its de-interlaced form.
      YuvPicture input;
      SynthPicture(o, k, &input);
      EXPECT_GT(PsnrBytes(got, ToBgrBottomUp(input)), kGoodPsnr) << "picture " << k;
    }
  }
}

// In a key-referenced stream every predicted picture refers to its key
// picture, so after the key picture any predicted picture of its range
// decodes right, in any order; libavcodec on its own refers to the picture
// decoded last and drifts.
TEST(Mpeg4Decode, KeyReferencedPicturesDecodeInAnyOrder) {
  SynthOptions o;
  o.predictedMode = 1;
  o.frames = 20;
  o.keyInterval = 10;
  Opened r(o);
  ASSERT_EQ(r.state().decoder.predictedStreamMode, 1u);
  const std::vector<Bytes> payloads = r.ReadPictures();
  ASSERT_EQ(payloads.size(), 20u);
  Bytes picture(kPictureSlotBytes);
  for (uint32_t k : {0u, 7u, 3u, 9u, 3u, 1u, 10u, 19u, 12u, 11u}) {
    EXPECT_GT(r.DecodeAndCompare(payloads, k, &picture), kGoodPsnr) << "picture " << k;
  }

  // The same first range decoded in order, by us and by plain libavcodec.
  std::vector<Bytes> elementary;
  std::vector<const Bytes*> chain;
  for (uint32_t k = 0; k < 10; ++k) {
    const Bytes& p = payloads[k];
    const std::size_t from = PacketPayloadOffset(p.data(), p.size());
    elementary.emplace_back(p.begin() + static_cast<std::ptrdiff_t>(from), p.end());
  }
  for (const Bytes& e : elementary) chain.push_back(&e);
  const std::vector<YuvPicture> plain = test::DecodeFresh(chain);
  ASSERT_EQ(plain.size(), 10u);
  for (uint32_t k = 0; k < 10; ++k) {
    const double ours = r.DecodeAndCompare(payloads, k, &picture);
    EXPECT_GT(ours, kGoodPsnr) << "picture " << k;
    if (k >= 5) {
      const double drifted = PsnrBytes(Shown(plain[k]), Expected(o, k));
      EXPECT_LT(drifted, ours - 10) << "picture " << k << ": the plain decode did not drift";
    }
  }
}

// Payloads of picture frames of a synthesized ".vs4" recording, with the
// options that made them.
struct Stream {
  SynthOptions options;
  std::vector<Bytes> payloads;
};

Stream MakeStream(uint8_t code, int mode, uint32_t frames, uint32_t keyInterval) {
  Stream s;
  s.options.resolutionCode = code;
  s.options.predictedMode = mode;
  s.options.frames = frames;
  s.options.keyInterval = keyInterval;
  Opened r(s.options);
  s.payloads = r.ReadPictures();
  EXPECT_EQ(s.payloads.size(), frames);
  return s;
}

// Decodes a payload with the slot's decoder; the PSNR against the input,
// or -1 when the decode fails.
double DecodeWith(VideoDecoderSlot& slot, const Stream& s, uint32_t k, Bytes* picture) {
  const Bytes& p = s.payloads[k];
  if (!DecodeMpeg4Picture(slot, p.data(), p.size(), 1, 0, slot.width, slot.height, picture->data(),
                          picture->size()))
    return -1;
  return PsnrBytes(Prefix(*picture, slot.width, slot.height), Expected(s.options, k));
}

TEST(Mpeg4Decode, ReopenAtAnotherSizeRestartsAtTheNextKeyPicture) {
  for (int mode : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    const Stream big = MakeStream(0, mode, 12, 6);    // 352 x 240
    const Stream small = MakeStream(5, mode, 12, 6);  // 176 x 144
    VideoDecoderSlot slot;
    ASSERT_TRUE(CreateMpeg4Decoder(slot));
    Bytes picture(kPictureSlotBytes);
    ASSERT_TRUE(ReopenMpeg4Decoder(slot, 352, 240, mode));
    for (uint32_t k : {0u, 1u, 2u}) EXPECT_GT(DecodeWith(slot, big, k, &picture), kGoodPsnr) << "big " << k;

    ASSERT_TRUE(ReopenMpeg4Decoder(slot, 176, 144, mode));
    EXPECT_EQ(slot.width, 176);
    EXPECT_EQ(slot.height, 144);
    constexpr uint8_t kFill = 0x5C;
    std::fill(picture.begin(), picture.end(), kFill);
    // The references are gone: a predicted picture cannot be decoded.
    EXPECT_EQ(DecodeWith(slot, small, 1, &picture), -1);
    EXPECT_EQ(DecodeWith(slot, small, 3, &picture), -1);
    // A key picture of the old size does not fit the new configuration.
    EXPECT_EQ(DecodeWith(slot, big, 6, &picture), -1);
    EXPECT_TRUE(std::all_of(picture.begin(), picture.end(), [](uint8_t b) { return b == kFill; }))
        << "a failed decode wrote into the picture";
    // The next key picture of the new size starts decoding again.
    EXPECT_GT(DecodeWith(slot, small, 6, &picture), kGoodPsnr);
    for (uint32_t k : {7u, 8u}) EXPECT_GT(DecodeWith(slot, small, k, &picture), kGoodPsnr) << "small " << k;
    const std::size_t used = 176 * 144 * 3;
    EXPECT_TRUE(std::all_of(picture.begin() + used, picture.end(), [](uint8_t b) { return b == kFill; }))
        << "the picture is larger than 176 x 144";

    // And back.
    ASSERT_TRUE(ReopenMpeg4Decoder(slot, 352, 240, mode));
    EXPECT_EQ(DecodeWith(slot, big, 7, &picture), -1);
    for (uint32_t k : {6u, 7u}) EXPECT_GT(DecodeWith(slot, big, k, &picture), kGoodPsnr) << "big " << k;
  }
}

TEST(Mpeg4Decode, FieldPicturesComeOutLineDoubled) {
  struct Case {
    SynthLayout layout;
    uint8_t code;
    uint16_t fieldHeight;
    uint16_t width, height;  // shown size
  };
  const Case cases[] = {
      {SynthLayout::Vsx, 11, 240, 720, 480},
      {SynthLayout::Vsx, 13, 288, 720, 576},
      {SynthLayout::Qrv, 6, 228, 640, 456},
      {SynthLayout::Qrv, 8, 276, 640, 552},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << int(c.code));
    SynthOptions o;
    o.layout = c.layout;
    o.resolutionCode = c.code;
    o.frames = 2;
    Opened r(o);
    const std::vector<Bytes> payloads = r.ReadPictures();
    ASSERT_EQ(payloads.size(), 2u);
    Bytes buffer(kPictureSlotBytes);
    uint16_t w = 0, h = 0;
    ASSERT_TRUE(r.Decode(payloads[0], buffer.data(), &w, &h));
    ASSERT_EQ(w, c.width);
    ASSERT_EQ(h, c.fieldHeight);
    const Bytes field = Prefix(buffer, w, h);
    EXPECT_GT(PsnrBytes(field, Expected(o, 0)), kGoodPsnr);

    // Left alone: a ".vs4" picture while the layout is not a field layout,
    // and the field's own size.
    const Bytes before = buffer;
    uint8_t* picture = buffer.data();
    if (c.layout == SynthLayout::Vsx) {
      r.state().layoutIndex = 0;
      r.reader->ExpandFieldPicture(c.width, c.height, &picture);
      EXPECT_TRUE(picture == buffer.data() && buffer == before) << "expanded outside a field layout";
      r.state().layoutIndex = c.code;
    }
    r.reader->ExpandFieldPicture(c.width, c.fieldHeight, &picture);
    EXPECT_TRUE(picture == buffer.data() && buffer == before) << "expanded at the field size";

    picture = buffer.data();
    r.reader->ExpandFieldPicture(c.width, c.height, &picture);
    // Shown row d (counted from the top) is field row d / 2; both are
    // stored bottom row first.
    const std::size_t row = static_cast<std::size_t>(c.width) * 3;
    int wrong = 0;
    for (int d = 0; d < c.height && wrong < 3; ++d) {
      const uint8_t* shown = picture + (c.height - 1 - d) * row;
      const uint8_t* source = field.data() + (c.fieldHeight - 1 - d / 2) * row;
      if (!std::equal(shown, shown + row, source)) {
        ADD_FAILURE() << "shown row " << d << " is not field row " << d / 2;
        ++wrong;
      }
    }
  }
}

// The decoder entry on a configured decoder, fed by hand.
struct EntryDecoder {
  VideoDecoderSlot slot;
  Bytes output = Bytes(kPictureSlotBytes, 0x77);

  EntryDecoder(uint16_t width, uint16_t height, uint32_t mode) {
    EXPECT_TRUE(CreateMpeg4Decoder(slot));
    EXPECT_TRUE(ReopenMpeg4Decoder(slot, width, height, mode));
  }
  Mpeg4DecoderHandle& handle() { return *slot.mpeg4; }

  uint32_t Decode(const Bytes& payload, uint32_t enable = 1) {
    Mpeg4DecodeInput& in = handle().input;
    in.output = output.data();
    in.payload = payload.data();
    in.length = static_cast<uint32_t>(payload.size());
    return Mpeg4DecoderEntry(enable, kMpeg4DecodePicture, &in, &handle().params, slot.width, slot.height, 0);
  }
  bool OutputUntouched() const {
    return std::all_of(output.begin(), output.end(), [](uint8_t b) { return b == 0x77; });
  }
};

// Elementary-stream pictures of 352 x 240 as the recorders write them.
std::vector<Bytes> EncodePictures(int mode, uint32_t count, uint32_t keyInterval, SynthOptions* options) {
  options->predictedMode = mode;
  Mpeg4EncoderSettings s;
  s.keyInterval = static_cast<int>(keyInterval);
  s.predictedMode = mode;
  Mpeg4StreamEncoder encoder;
  std::string error;
  EXPECT_TRUE(encoder.Open(s, &error)) << error;
  std::vector<Bytes> out;
  for (uint32_t k = 0; k < count; ++k) {
    YuvPicture picture;
    SynthPicture(*options, k, &picture);
    Bytes data;
    EXPECT_TRUE(encoder.Encode(picture, k, k % keyInterval == 0, &data, &error)) << error;
    out.push_back(std::move(data));
  }
  return out;
}

TEST(Mpeg4Decode, EntryRefusesWhatItCannotDecode) {
  SynthOptions o;
  const std::vector<Bytes> stream = EncodePictures(1, 3, 10, &o);
  const Bytes& key = stream[0];
  const uint8_t vopStart[] = {0x00, 0x00, 0x01, 0xB6};
  const auto vop = std::search(key.begin(), key.end(), std::begin(vopStart), std::end(vopStart));
  ASSERT_NE(vop, key.end());

  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"no start code", {0x12, 0x34, 0x00, 0x00, 0x02, 0xB6, 0x00, 0x01, 0xB6, 0x55}},
      {"a packet head only", {0x00, 0x00, 0x01, 0xE0, 0x00, 0x10, 0x81, 0x80, 0x05, 0x21, 0, 1, 0, 1}},
      {"start code prefix cut short", {0xAA, 0x00, 0x00, 0x01}},
      {"VOP start code at the very end", {0x00, 0x00, 0x01, 0xB6}},
      {"stream headers without a VOP", Bytes(key.begin(), vop)},
      {"a predicted picture before any key picture", stream[1]},
  };
  EntryDecoder d(352, 240, 1);
  for (const Case& c : cases) {
    EXPECT_EQ(d.Decode(c.bytes), kMpeg4Failed) << c.what;
    EXPECT_TRUE(d.OutputUntouched()) << c.what;
  }
  // Disabled: the key picture is not even looked at, so the predicted
  // picture after it still has no reference.
  EXPECT_EQ(d.Decode(key, 0), kMpeg4Disabled);
  EXPECT_TRUE(d.OutputUntouched());
  EXPECT_EQ(d.Decode(stream[2]), kMpeg4Failed);
  EXPECT_EQ(d.Decode(key), kMpeg4Ok);
  EXPECT_GT(PsnrBytes(Prefix(d.output, 352, 240), Expected(o, 0)), kGoodPsnr);
  EXPECT_EQ(d.Decode(stream[2]), kMpeg4Ok);
  EXPECT_GT(PsnrBytes(Prefix(d.output, 352, 240), Expected(o, 2)), kGoodPsnr);
}

TEST(Mpeg4Decode, ChainRefusesAPredictedPictureBeforeAnyKeyPicture) {
  SynthOptions o;
  const std::vector<Bytes> stream = EncodePictures(0, 3, 10, &o);
  EntryDecoder d(352, 240, 0);
  EXPECT_EQ(d.Decode(stream[1]), kMpeg4Failed);
  EXPECT_TRUE(d.OutputUntouched());
  EXPECT_EQ(d.Decode(stream[0]), kMpeg4Ok);
  EXPECT_EQ(d.Decode(stream[1]), kMpeg4Ok);
  EXPECT_GT(PsnrBytes(Prefix(d.output, 352, 240), Expected(o, 1)), kGoodPsnr);
}

TEST(Mpeg4Decode, InitialiseRefusesOddAndEmptySizes) {
  EntryDecoder d(352, 240, 1);
  struct Size {
    uint16_t width, height;
  };
  for (const Size s : {Size{351, 240}, Size{352, 241}, Size{0, 240}, Size{352, 0}, Size{1, 1}}) {
    EXPECT_EQ(Mpeg4DecoderEntry(1, kMpeg4Initialise, &d.handle().params, nullptr, s.width, s.height, 1), kMpeg4Failed)
        << s.width << "x" << s.height;
  }
  // Through the slot: the decoder is closed and decodes nothing until a
  // good size comes.
  SynthOptions o;
  const std::vector<Bytes> stream = EncodePictures(1, 1, 10, &o);
  for (const Size s : {Size{351, 240}, Size{722, 576}, Size{720, 578}}) {
    EXPECT_FALSE(ReopenMpeg4Decoder(d.slot, s.width, s.height, 1)) << s.width << "x" << s.height;
    EXPECT_FALSE(DecodeMpeg4Picture(d.slot, stream[0].data(), stream[0].size(), 1, 0, s.width, s.height,
                                    d.output.data(), d.output.size()));
    EXPECT_TRUE(d.OutputUntouched());
  }
  EXPECT_TRUE(ReopenMpeg4Decoder(d.slot, 352, 240, 1));
  EXPECT_EQ(d.Decode(stream[0]), kMpeg4Ok);
}

// The scratch area holds the de-interlaced luma plane: a set-up for a
// picture larger than the work areas were sized for is refused, and the
// decoder goes on with the configuration it had.
TEST(Mpeg4Decode, InitialiseRefusesSizesItsWorkAreasCannotHold) {
  SynthOptions o;
  const std::vector<Bytes> stream = EncodePictures(1, 1, 10, &o);
  EntryDecoder d(352, 240, 1);  // work areas for 720 x 576
  EXPECT_EQ(Mpeg4DecoderEntry(1, kMpeg4Initialise, &d.handle().params, nullptr, 1280, 720, 1), kMpeg4Failed);
  EXPECT_EQ(d.Decode(stream[0]), kMpeg4Ok);
  EXPECT_GT(PsnrBytes(Prefix(d.output, 352, 240), Expected(o, 0)), kGoodPsnr);

  // With work areas of the size list for 1280 x 720 it decodes.
  Mpeg4DecoderParams params;
  uint32_t sizes[kMpeg4WorkAreaCount];
  ASSERT_EQ(Mpeg4DecoderEntry(1, kMpeg4SizeQuery, &params, sizes, 1280, 720, 0), kMpeg4Ok);
  std::vector<Bytes> areas;
  for (int i = 0; i < kMpeg4WorkAreaCount; ++i) {
    areas.emplace_back(sizes[i]);
    params.workAreas[i] = areas.back().data();
  }
  ASSERT_EQ(Mpeg4DecoderEntry(1, kMpeg4Initialise, &params, nullptr, 1280, 720, 1), kMpeg4Ok);
  Mpeg4EncoderSettings s;
  s.width = 1280;
  s.height = 720;
  Mpeg4StreamEncoder encoder;
  std::string error;
  ASSERT_TRUE(encoder.Open(s, &error)) << error;
  YuvPicture input;
  DrawTestPicture(1280, 720, 0, "12:34", "", &input);
  Bytes key;
  ASSERT_TRUE(encoder.Encode(input, 0, true, &key, &error)) << error;
  Bytes output(1280 * 720 * 3);
  Mpeg4DecodeInput in;
  in.output = output.data();
  in.payload = key.data();
  in.length = static_cast<uint32_t>(key.size());
  in.rowWidth = 1280;
  EXPECT_EQ(Mpeg4DecoderEntry(1, kMpeg4DecodePicture, &in, &params, 1280, 720, 0), kMpeg4Ok);
  EXPECT_GT(PsnrBytes(output, ToBgrBottomUp(input)), kGoodPsnr);
  mpeg4::Release(&params);  // the owner of the work areas frees the decoder
}

// A ".vse" recording may begin with a sound frame; the open step takes the
// picture size from the first picture frame, so the decoder is set up for
// the pictures (for the field sizes the decode thread has no size of its
// own to correct it with) and the file's resolution code is right.
TEST(Mpeg4Decode, VseBeginningWithSoundOpensAtItsPictureSize) {
  struct Case {
    uint8_t streamType;
    uint8_t code;
    uint16_t width, height;
  };
  const Case cases[] = {{1, 0, 352, 240}, {2, 6, 640, 228}, {5, 8, 640, 276}, {0, 2, 352, 288}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.streamType) << " code " << int(c.code));
    SynthOptions o;
    o.layout = SynthLayout::Qrv;
    o.streamType = c.streamType;
    o.resolutionCode = c.code;
    o.frames = 3;
    o.sound = true;
    Opened r(o);
    ASSERT_TRUE(r.reader->state().file.IsOpen()) << "the recording does not open";
    EXPECT_EQ(r.reader->GetFileResolution(), c.code);
    const std::vector<Bytes> payloads = r.ReadPictures();
    ASSERT_GE(payloads.size(), 3u);
    // The synthesizer writes a sound frame first.
    ASSERT_EQ(r.reader->frameIndex()[0].type, kQrvAudioFrame);
    if (!r.mpeg4) continue;
    EXPECT_EQ(r.state().decoder.width, c.width);
    EXPECT_EQ(r.state().decoder.height, c.height);
    Bytes picture(kPictureSlotBytes);
    EXPECT_GT(r.DecodeAndCompare(payloads, 0, &picture), kGoodPsnr);
  }
}

TEST(Mpeg4Decode, OutputRowsFollowTheDecodeInputRowWidth) {
  SynthOptions o;
  const std::vector<Bytes> stream = EncodePictures(1, 1, 10, &o);
  EntryDecoder d(352, 240, 1);
  ASSERT_EQ(d.Decode(stream[0]), kMpeg4Ok);
  const Bytes tight = Prefix(d.output, 352, 240);

  // Rows of 360 pixels: each picture row at its place, the 8 pixels after
  // it untouched.
  std::fill(d.output.begin(), d.output.end(), 0x77);
  d.handle().input.rowWidth = 360;
  ASSERT_EQ(d.Decode(stream[0]), kMpeg4Ok);
  for (int y = 0; y < 240; ++y) {
    const uint8_t* row = d.output.data() + y * 360 * 3;
    ASSERT_TRUE(std::equal(row, row + 352 * 3, tight.data() + y * 352 * 3)) << "row " << y;
    ASSERT_TRUE(std::all_of(row + 352 * 3, row + 360 * 3, [](uint8_t b) { return b == 0x77; })) << "row " << y;
  }
  // Rows shorter than the picture cannot hold it.
  std::fill(d.output.begin(), d.output.end(), 0x77);
  d.handle().input.rowWidth = 351;
  EXPECT_EQ(d.Decode(stream[0]), kMpeg4Failed);
  EXPECT_TRUE(d.OutputUntouched());
}

// Run under the asan preset: LeakSanitizer reports any libavcodec context
// or work area left behind.
TEST(Mpeg4Decode, CreateReopenDestroyLeavesNothingBehind) {
  const Stream s352 = MakeStream(0, 1, 2, 10);
  const Stream s176 = MakeStream(5, 0, 2, 10);
  Bytes picture(kPictureSlotBytes);
  for (int round = 0; round < 3; ++round) {
    VideoDecoderSlot slot;
    ASSERT_TRUE(CreateMpeg4Decoder(slot));
    ASSERT_TRUE(CreateMpeg4Decoder(slot));  // a second create keeps the decoder
    struct Step {
      uint16_t width, height;
      uint32_t mode;
      const Stream* stream;
    };
    const Step steps[] = {
        {352, 240, 1, &s352}, {176, 144, 0, &s176}, {720, 576, 1, nullptr}, {351, 240, 1, nullptr},
        {704, 480, 0, nullptr}, {176, 144, 0, &s176}, {352, 240, 1, &s352},
    };
    for (const Step& step : steps) {
      const bool good = step.width % 2 == 0;
      EXPECT_EQ(ReopenMpeg4Decoder(slot, step.width, step.height, step.mode), good);
      if (step.stream) {
        EXPECT_GT(DecodeWith(slot, *step.stream, 0, &picture), kGoodPsnr);
        EXPECT_GT(DecodeWith(slot, *step.stream, 1, &picture), kGoodPsnr);
      }
    }
    if (round == 0) DestroyMpeg4Decoder(slot);
    if (round == 1) {
      DestroyMpeg4Decoder(slot);
      ASSERT_TRUE(CreateMpeg4Decoder(slot));
      ASSERT_TRUE(ReopenMpeg4Decoder(slot, 352, 240, 1));
    }
    // round 2 (and 1): the slot goes away with an open decoder.
  }
  // A reader torn down with its open decoder.
  for (int i = 0; i < 2; ++i) {
    Opened r(s352.options);
    Bytes p(kPictureSlotBytes);
    uint16_t w = 0, h = 0;
    EXPECT_TRUE(r.Decode(r.ReadPictures()[0], p.data(), &w, &h));
  }
}

}  // namespace
}  // namespace tsv
