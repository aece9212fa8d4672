#include "media/ImaAdpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace tsv {
namespace {

struct SampleCase {
  const char* what;
  int32_t index;
  int32_t predictor;
  int code;
  int16_t sample;
  AdpcmDecoderState after;
};

// Worked out by hand from the step table (index 10 -> step 19, 88 -> 32767).
const SampleCase kSampleCases[] = {
    {"zero code from rest stays silent", 0, 0, 0x0, 0, {0, 0}},
    {"largest code from rest", 0, 0, 0x7, 13, {8, 13}},
    {"negative zero difference", 0, 0, 0x8, 0, {0, 0}},
    {"code 7 at the top step clamps high", 88, 32000, 0x7, 32767, {88, 32767}},
    {"code F at the top step clamps low", 88, -32000, 0xF, -32768, {88, -32768}},
    {"index 200 is used as 88", 200, 0, 0x0, 4095, {87, 4095}},
    {"negative index is used as 0", -5, 0, 0x4, 7, {2, 7}},
    // (2*3+1)*19/8 = 16; the shift-and-add shortcut would give 15.
    {"exact difference, not shift-and-add", 10, 100, 0xB, 84, {9, 84}},
    {"code 16 is refused", 5, 123, 16, 0, {5, 123}},
    {"code -1 is refused", 5, 123, -1, 0, {5, 123}},
};

TEST(ImaAdpcm, DecodesSingleCodes) {
  for (const SampleCase& c : kSampleCases) {
    AdpcmDecoderState state{c.index, c.predictor};
    EXPECT_EQ(DecodeAdpcmSample(c.code, state), c.sample) << c.what;
    EXPECT_EQ(state, c.after) << c.what;
  }
}

TEST(ImaAdpcm, BlockDecodesLowNibbleFirst) {
  const uint8_t bytes[] = {0x70};
  int16_t out[2] = {};
  AdpcmDecoderState state;
  EXPECT_EQ(DecodeAdpcmBlock(state, 1, bytes, out, 0, 0), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 13);
  EXPECT_EQ(state, (AdpcmDecoderState{8, 13}));
}

TEST(ImaAdpcm, BlockSeedPredictorIsSigned) {
  const uint8_t bytes[] = {0x00};
  int16_t out[2] = {};
  AdpcmDecoderState state;
  DecodeAdpcmBlock(state, 1, bytes, out, 0, static_cast<uint32_t>(-100));
  EXPECT_EQ(out[0], -100);
  EXPECT_EQ(out[1], -100);
  // A seed far outside the 16-bit range clamps instead of overflowing.
  DecodeAdpcmBlock(state, 1, bytes, out, 88, 0x7FFFFFFF);
  EXPECT_EQ(out[0], 32767);
}

TEST(ImaAdpcm, EmptyBlocksDecodeNothing) {
  const uint8_t bytes[] = {0x77};
  for (int count : {0, -1}) {
    int16_t out[2] = {1111, 2222};
    AdpcmDecoderState state;
    EXPECT_EQ(DecodeAdpcmBlock(state, count, bytes, out, 3, 44), 0);
    EXPECT_EQ(out[0], 1111);
    EXPECT_EQ(out[1], 2222);
    EXPECT_EQ(state, (AdpcmDecoderState{3, 44}));
  }
}

// FNV-1a over the samples' little-endian bytes.
uint32_t Checksum(const std::vector<int16_t>& samples) {
  uint32_t hash = 2166136261u;
  for (int16_t s : samples) {
    for (int shift : {0, 8}) {
      hash ^= static_cast<uint8_t>(static_cast<uint16_t>(s) >> shift);
      hash *= 16777619u;
    }
  }
  return hash;
}

TEST(ImaAdpcm, ReferenceBlockChecksum) {
  // Codes whose index changes cancel out over a cycle, so the block wanders
  // through the middle of the step table instead of sticking at a clamp.
  const uint8_t cycle[14] = {4, 1, 9, 2, 12, 3, 10, 4, 11, 8, 5, 1, 9, 3};
  std::vector<uint8_t> bytes(256);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(cycle[(2 * i) % 14] | (cycle[(2 * i + 1) % 14] << 4));
  std::vector<int16_t> out(bytes.size() * 2);
  AdpcmDecoderState state;
  DecodeAdpcmBlock(state, static_cast<int>(bytes.size()), bytes.data(), out.data(), 30,
                   static_cast<uint32_t>(-1234));
  // Checked against an independent model of the decoder.
  EXPECT_EQ(Checksum(out), 3464982319u);
  EXPECT_EQ(state, (AdpcmDecoderState{31, 14450}));
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    signal += double(reference[i]) * reference[i];
    const double d = double(reference[i]) - decoded[i];
    noise += d * d;
  }
  return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

TEST(ImaAdpcm, ToneSurvivesRoundTrip) {
  for (size_t count : {size_t{8000}, size_t{1023}}) {
    std::vector<int16_t> tone(count);
    for (size_t i = 0; i < count; ++i) tone[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * i / 8000.0));
    std::vector<uint8_t> adpcm((count + 1) / 2);
    AdpcmDecoderState encoder;
    EncodeAdpcmBlock(encoder, tone.data(), count, adpcm.data());

    std::vector<int16_t> decoded(adpcm.size() * 2);
    AdpcmDecoderState decoder;
    DecodeAdpcmBlock(decoder, static_cast<int>(adpcm.size()), adpcm.data(), decoded.data(), 0, 0);
    EXPECT_EQ(decoder, encoder) << count << " samples: the encoder must end where the decoder ends";
    decoded.resize(count);
    EXPECT_GT(SnrDb(tone, decoded), 20.0) << count << " samples";
  }
}

TEST(ImaAdpcm, EncoderContinuesAcrossBlocks) {
  // Two blocks encoded in sequence decode like one when the second is
  // seeded with the state the first ended in.
  std::vector<int16_t> tone(512);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(9000 * std::sin(i * 0.3));
  std::vector<uint8_t> whole(256), first(128), second(128);
  AdpcmDecoderState a, b;
  EncodeAdpcmBlock(a, tone.data(), 512, whole.data());
  EncodeAdpcmBlock(b, tone.data(), 256, first.data());
  const AdpcmDecoderState seed = b;
  EncodeAdpcmBlock(b, tone.data() + 256, 256, second.data());
  EXPECT_EQ(std::vector<uint8_t>(whole.begin(), whole.begin() + 128), first);
  EXPECT_EQ(std::vector<uint8_t>(whole.begin() + 128, whole.end()), second);

  std::vector<int16_t> out(256);
  AdpcmDecoderState decoder;
  DecodeAdpcmBlock(decoder, 128, second.data(), out.data(), static_cast<uint32_t>(seed.stepIndex),
                   static_cast<uint32_t>(seed.predictor));
  EXPECT_EQ(decoder, b);
}

TEST(ImaAdpcm, SoundFrameDataIsCutToOneBlock) {
  const struct {
    size_t payload;
    size_t adpcm;
  } cases[] = {{0, 0}, {63, 0}, {64, 0}, {65, 1}, {64 + 512, 512}, {64 + 2048, 2048}, {64 + 2049, 2048},
               {102400, 2048}};
  for (const auto& c : cases) EXPECT_EQ(AdpcmBytesOfSoundFrame(c.payload), c.adpcm) << c.payload;
}

}  // namespace
}  // namespace tsv
