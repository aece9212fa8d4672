// The synthesizer's MPEG-4 streams checked with libavcodec's own decoder:
// key pictures start with the video object and its layer header, mode-1
// predicted pictures decode from their key picture alone, and mode-0
// streams decode as one chain.
#include <gtest/gtest.h>

#include <vector>

#include "formats/Mpeg4TestDecoder.h"
#include "media/mpeg4/Mpeg4DecoderEntry.h"
#include "synth/Mpeg4StreamEncoder.h"
#include "synth/Synthesizer.h"

namespace tsv {
namespace {

using test::DecodeFresh;
using test::Psnr;
using Packet = std::vector<uint8_t>;

struct Stream {
  std::vector<YuvPicture> input;
  std::vector<Packet> packets;
};

Stream Encode(int mode, uint8_t code, uint32_t count, uint32_t keyInterval) {
  SynthOptions o;
  o.resolutionCode = code;
  o.keyInterval = keyInterval;
  o.predictedMode = mode;
  const PictureSize size = *SynthPictureSize(o);
  Mpeg4EncoderSettings s;
  s.width = size.width;
  s.height = size.height;
  s.keyInterval = static_cast<int>(keyInterval);
  s.predictedMode = mode;
  Mpeg4StreamEncoder encoder;
  std::string error;
  EXPECT_TRUE(encoder.Open(s, &error)) << error;
  Stream stream;
  for (uint32_t k = 0; k < count; ++k) {
    YuvPicture picture;
    SynthPicture(o, k, &picture);
    Packet data;
    EXPECT_TRUE(encoder.Encode(picture, k, k % keyInterval == 0, &data, &error)) << error;
    stream.input.push_back(std::move(picture));
    stream.packets.push_back(std::move(data));
  }
  return stream;
}

bool StartsWith(const Packet& p, std::initializer_list<uint8_t> prefix) {
  return p.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), p.begin());
}

TEST(SynthMpeg4, PicturesStartWithTheRightStartCodes) {
  for (int mode : {0, 1}) {
    const Stream s = Encode(mode, 5, 7, 3);
    for (size_t k = 0; k < s.packets.size(); ++k) {
      const Packet& p = s.packets[k];
      if (k % 3 == 0) {
        EXPECT_TRUE(StartsWith(p, {0x00, 0x00, 0x01, 0x00})) << "mode " << mode << " key picture " << k;
        EXPECT_EQ(Mpeg4PictureCodingType(p.data(), p.size()), 0);
        // The layer header right behind it tells the picture size.
        uint32_t w = 0, h = 0;
        EXPECT_TRUE(ParseVideoObjectLayerSize(p.data(), p.size(), &w, &h));
        EXPECT_EQ(w, 176u);
        EXPECT_EQ(h, 144u);
      } else {
        EXPECT_TRUE(StartsWith(p, {0x00, 0x00, 0x01, 0xB6})) << "mode " << mode << " picture " << k;
        EXPECT_EQ(Mpeg4PictureCodingType(p.data(), p.size()), 1);
      }
    }
  }
}

TEST(SynthMpeg4, ModeOnePredictedPicturesDecodeFromTheirKeyPicture) {
  const uint32_t keyInterval = 6;
  const Stream s = Encode(1, 0, 12, keyInterval);
  double lastOfFirstRange = 0;
  for (uint32_t k = 0; k < s.packets.size(); ++k) {
    const uint32_t key = k - k % keyInterval;
    std::vector<const Packet*> packets{&s.packets[key]};
    if (k != key) packets.push_back(&s.packets[k]);
    const std::vector<YuvPicture> decoded = DecodeFresh(packets);
    ASSERT_EQ(decoded.size(), packets.size()) << "picture " << k;
    const double psnr = Psnr(decoded.back(), s.input[k]);
    EXPECT_GT(psnr, 30.0) << "picture " << k << " decoded after key picture " << key;
    if (k == keyInterval - 1) lastOfFirstRange = psnr;
  }
  // Decoded as an ordinary chain, the same stream drifts: each predicted
  // picture lands on the wrong reference.
  std::vector<const Packet*> chain;
  for (uint32_t k = 0; k < keyInterval; ++k) chain.push_back(&s.packets[k]);
  const std::vector<YuvPicture> drifted = DecodeFresh(chain);
  ASSERT_EQ(drifted.size(), chain.size());
  EXPECT_LT(Psnr(drifted.back(), s.input[keyInterval - 1]), lastOfFirstRange - 10.0);
}

TEST(SynthMpeg4, ModeZeroDecodesAsAChain) {
  const Stream s = Encode(0, 0, 10, 4);
  std::vector<const Packet*> all;
  for (const Packet& p : s.packets) all.push_back(&p);
  const std::vector<YuvPicture> decoded = DecodeFresh(all);
  ASSERT_EQ(decoded.size(), s.input.size());
  for (size_t k = 0; k < decoded.size(); ++k) EXPECT_GT(Psnr(decoded[k], s.input[k]), 30.0) << "picture " << k;

  // Decoding can also start at a later key picture.
  std::vector<const Packet*> tail(all.begin() + 4, all.end());
  const std::vector<YuvPicture> fromKey = DecodeFresh(tail);
  ASSERT_EQ(fromKey.size(), tail.size());
  EXPECT_GT(Psnr(fromKey.back(), s.input.back()), 30.0);
}

TEST(SynthMpeg4, RefusesAStreamThatDoesNotStartWithAKeyPicture) {
  for (int mode : {0, 1}) {
    Mpeg4EncoderSettings s;
    s.width = 176;
    s.height = 112;
    s.predictedMode = mode;
    Mpeg4StreamEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.Open(s, &error));
    YuvPicture picture;
    DrawTestPicture(176, 112, 0, "", "", &picture);
    Packet data;
    EXPECT_FALSE(encoder.Encode(picture, 0, false, &data, &error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tsv
