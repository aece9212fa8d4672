// The MPEG-4 decoder's output conversion as the readers get it: decoded
// pictures byte for byte the codec's picture through ConvertOutput1, at
// sizes converted on two threads and on one; and the conversion helper
// thread of a decoder ending on every way out (re-open at the same or
// another size, re-initialise through the entry point, release, destroy),
// with many decoders made and destroyed leaving no thread behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "media/VideoDecoder.h"
#include "media/mpeg4/Mpeg4Decoder.h"
#include "media/mpeg4/Mpeg4DecoderEntry.h"
#include "media/mpeg4/OutputConversion.h"
#include "synth/Mpeg4StreamEncoder.h"
#include "synth/TestPicture.h"

namespace tsv {
namespace {

using Bytes = std::vector<uint8_t>;

// Elementary-stream pictures of a chain (each predicted picture refers to
// the one before), a key picture every `keyInterval`.
std::vector<Bytes> EncodeChain(int width, int height, uint32_t count, int keyInterval) {
  Mpeg4EncoderSettings s;
  s.width = width;
  s.height = height;
  s.keyInterval = keyInterval;
  s.predictedMode = 0;
  Mpeg4StreamEncoder encoder;
  std::string error;
  EXPECT_TRUE(encoder.Open(s, &error)) << error;
  std::vector<Bytes> out;
  for (uint32_t k = 0; k < count; ++k) {
    YuvPicture picture;
    DrawTestPicture(width, height, k, "2024-05-06", "07:08:09." + std::to_string(k), &picture);
    Bytes data;
    EXPECT_TRUE(encoder.Encode(picture, k, k % static_cast<uint32_t>(keyInterval) == 0, &data, &error)) << error;
    out.push_back(std::move(data));
  }
  return out;
}

// The same pictures decoded by a libavcodec decoder of our own and
// converted on the calling thread alone.
std::vector<Bytes> ConvertedByHand(const std::vector<Bytes>& stream, int width, int height) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  ctx->width = width;
  ctx->height = height;
  ctx->thread_count = 1;
  ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
  EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  std::vector<Bytes> out;
  for (const Bytes& data : stream) {
    Bytes padded(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data.data(), data.size());
    packet->data = padded.data();
    packet->size = static_cast<int>(data.size());
    EXPECT_EQ(avcodec_send_packet(ctx, packet), 0);
    EXPECT_EQ(avcodec_receive_frame(ctx, frame), 0);
    YuvPlanes planes;
    planes.y = frame->data[0];
    planes.u = frame->data[1];
    planes.v = frame->data[2];
    planes.yStride = frame->linesize[0];
    planes.uStride = frame->linesize[1];
    planes.vStride = frame->linesize[2];
    planes.width = width;
    planes.height = height;
    Bytes scratch(static_cast<std::size_t>(width) * height), picture(scratch.size() * 3);
    ConvertOutput1(planes, scratch.data(), picture.data(), static_cast<std::size_t>(width) * 3);
    out.push_back(std::move(picture));
    av_frame_unref(frame);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  return out;
}

std::size_t ThreadCount() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// A joined thread can stay listed for a moment after the join returns.
bool ThreadCountSettlesAt(std::size_t expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ThreadCount() != expected) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct Decoder {
  VideoDecoderSlot slot;
  Bytes picture = Bytes(kMpeg4OutputSize);

  Decoder() { EXPECT_TRUE(CreateMpeg4Decoder(slot)); }
  bool Reopen(uint16_t width, uint16_t height) { return ReopenMpeg4Decoder(slot, width, height, 0); }
  bool Decode(const Bytes& data) {
    return DecodeMpeg4Picture(slot, data.data(), data.size(), 1, 0, slot.width, slot.height, picture.data(),
                              picture.size());
  }
  Bytes Shown() const {
    return Bytes(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(slot.width) * slot.height * 3);
  }
};

TEST(Mpeg4DecoderConversion, PicturesMatchTheCodecsPictureConvertedOnOneThread) {
  // 720 x 576 and 720 x 240 are converted on two threads, 352 x 288 and
  // 176 x 112 on one; every picture of a chain with key and predicted
  // pictures, on one decoder re-opened between the sizes.
  Decoder d;
  for (auto [width, height] : {std::pair{720, 576}, {352, 288}, {720, 240}, {176, 112}, {720, 576}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    const std::vector<Bytes> stream = EncodeChain(width, height, 12, 5);
    const std::vector<Bytes> expected = ConvertedByHand(stream, width, height);
    ASSERT_TRUE(d.Reopen(static_cast<uint16_t>(width), static_cast<uint16_t>(height)));
    for (std::size_t k = 0; k < stream.size(); ++k) {
      std::fill(d.picture.begin(), d.picture.end(), 0x6B);
      ASSERT_TRUE(d.Decode(stream[k])) << "picture " << k;
      ASSERT_EQ(d.Shown(), expected[k]) << "picture " << k;
    }
  }
}

TEST(Mpeg4DecoderConversion, HelperThreadEndsWithItsDecoder) {
  const std::vector<Bytes> large = EncodeChain(720, 576, 1, 1);
  const std::vector<Bytes> small = EncodeChain(352, 288, 1, 1);
  const std::size_t base = ThreadCount();

  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    Decoder d;
    ASSERT_TRUE(d.Reopen(720, 576));
    EXPECT_EQ(ThreadCount(), base) << "a thread before any picture";
    ASSERT_TRUE(d.Decode(large[0]));
    EXPECT_EQ(ThreadCount(), base + 1);
    ASSERT_TRUE(d.Decode(large[0]));
    EXPECT_EQ(ThreadCount(), base + 1) << "a second thread for the second picture";
    ASSERT_TRUE(d.Reopen(720, 576));
    ASSERT_TRUE(ThreadCountSettlesAt(base)) << "re-open at the same size";
    ASSERT_TRUE(d.Decode(large[0]));
    ASSERT_TRUE(d.Reopen(352, 288));
    ASSERT_TRUE(ThreadCountSettlesAt(base)) << "re-open at a small size";
    ASSERT_TRUE(d.Decode(small[0]));
    EXPECT_EQ(ThreadCount(), base) << "a thread for a small picture";
    ASSERT_TRUE(d.Reopen(720, 576));
    ASSERT_TRUE(d.Decode(large[0]));
    EXPECT_FALSE(d.Reopen(800, 600)) << "a size above the largest is refused";
    ASSERT_TRUE(ThreadCountSettlesAt(base)) << "failed re-open";
    ASSERT_TRUE(d.Reopen(720, 576));
    ASSERT_TRUE(d.Decode(large[0]));
    EXPECT_EQ(ThreadCount(), base + 1);
  }  // destroyed with its thread running
  ASSERT_TRUE(ThreadCountSettlesAt(base)) << "after destroying decoders";

  // Several at once, each with its own thread.
  {
    std::vector<std::unique_ptr<Decoder>> decoders;
    for (int i = 0; i < 6; ++i) {
      decoders.push_back(std::make_unique<Decoder>());
      ASSERT_TRUE(decoders.back()->Reopen(720, 576));
      ASSERT_TRUE(decoders.back()->Decode(large[0]));
    }
    EXPECT_EQ(ThreadCount(), base + 6);
    decoders.erase(decoders.begin(), decoders.begin() + 3);
    ASSERT_TRUE(ThreadCountSettlesAt(base + 3));
  }
  ASSERT_TRUE(ThreadCountSettlesAt(base));

  // Through the entry point: initialising a live decoder again, and the
  // release its owner calls before freeing the work areas.
  Decoder d;
  ASSERT_TRUE(d.Reopen(720, 576));
  Mpeg4DecoderHandle& h = *d.slot.mpeg4;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Mpeg4DecoderEntry(1, kMpeg4Initialise, &h.params, nullptr, 720, 576, 0), kMpeg4Ok);
    ASSERT_TRUE(ThreadCountSettlesAt(base));
    ASSERT_TRUE(d.Decode(large[0]));
    EXPECT_EQ(ThreadCount(), base + 1);
  }
  mpeg4::Release(&h.params);
  h.open = false;
  ASSERT_TRUE(ThreadCountSettlesAt(base)) << "after release";
}

}  // namespace
}  // namespace tsv
