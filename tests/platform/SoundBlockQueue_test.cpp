#include "platform/SoundBlockQueue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tsv {
namespace {

struct FillCase {
  const char* what;
  double outputRate;
  int channels;
  std::vector<std::vector<int16_t>> blocks;
  // Frames asked for by each Fill call, with what it must give.
  std::vector<std::size_t> frames;
  std::vector<std::vector<int16_t>> out;
  std::vector<uint32_t> played;
};

const FillCase kFillCases[] = {
    {"own rate plays samples as they are, then silence", 8000, 1, {{1, 2, 3}, {4}}, {6}, {{1, 2, 3, 4, 0, 0}}, {2}},
    {"a block split over calls counts when its last sample goes out",
     8000,
     1,
     {{1, 2, 3, 4, 5}},
     {2, 2, 1, 1},
     {{1, 2}, {3, 4}, {5}, {0}},
     {0, 0, 1, 0}},
    {"twice the rate interpolates between neighbours and holds the last",
     16000,
     1,
     {{0, 100, 200}},
     {6, 1},
     {{0, 50, 100, 150, 200, 200}, {0}},
     {1, 0}},
    {"half the rate skips every other sample", 4000, 1, {{1, 2, 3, 4}}, {2}, {{1, 3}}, {1}},
    {"resampling runs on across a block boundary", 16000, 1, {{10}, {20}}, {4}, {{10, 10, 20, 20}}, {2}},
    {"stereo repeats each sample on both channels", 8000, 2, {{7, -7}}, {2}, {{7, 7, -7, -7}}, {1}},
    {"empty blocks count when reached and give no sound", 8000, 1, {{}, {9}, {}}, {1}, {{9}}, {3}},
    {"an empty block alone counts even on a silent buffer", 8000, 1, {{}}, {2}, {{0, 0}}, {1}},
    {"44100 Hz holds each sample about 5.5 frames", 44100, 1, {{0, 0}}, {12}, {std::vector<int16_t>(12, 0)}, {1}},
};

TEST(SoundBlockQueue, FillPlaysQueuedBlocksAtTheOutputRate) {
  for (const FillCase& c : kFillCases) {
    SoundBlockQueue queue;
    queue.SetOutputRate(c.outputRate);
    for (const auto& block : c.blocks) ASSERT_TRUE(queue.Push(block.data(), block.size())) << c.what;
    for (std::size_t call = 0; call < c.frames.size(); ++call) {
      std::vector<int16_t> out(c.frames[call] * c.channels, -1);
      EXPECT_EQ(queue.Fill(out.data(), c.frames[call], c.channels), c.played[call]) << c.what << ", call " << call;
      EXPECT_EQ(out, c.out[call]) << c.what << ", call " << call;
    }
    EXPECT_TRUE(queue.empty()) << c.what;
  }
}

TEST(SoundBlockQueue, ABlockAfterAGapStartsAtItsFirstSample) {
  SoundBlockQueue queue;
  queue.SetOutputRate(16000);
  const int16_t first[] = {10};
  const int16_t second[] = {20, 40};
  ASSERT_TRUE(queue.Push(first, 1));
  std::vector<int16_t> out(3);
  EXPECT_EQ(queue.Fill(out.data(), 3, 1), 1u);
  EXPECT_EQ(out, (std::vector<int16_t>{10, 10, 0}));
  ASSERT_TRUE(queue.Push(second, 2));
  EXPECT_EQ(queue.Fill(out.data(), 3, 1), 0u);
  EXPECT_EQ(out, (std::vector<int16_t>{20, 30, 40}));
}

TEST(SoundBlockQueue, HoldsThreeBlocksAndClearSaysHowMany) {
  SoundBlockQueue queue;
  const int16_t samples[] = {1, 2};
  for (int i = 0; i < kAudioDeviceQueueBlocks; ++i) EXPECT_TRUE(queue.Push(samples, 2));
  EXPECT_FALSE(queue.Push(samples, 2));
  EXPECT_EQ(queue.Clear(), 3u);
  EXPECT_TRUE(queue.Push(samples, 2));
  // Cleared mid-block: the next block starts from its beginning.
  std::vector<int16_t> out(1);
  queue.Fill(out.data(), 1, 1);
  EXPECT_EQ(queue.Clear(), 1u);
  const int16_t next[] = {5, 6};
  ASSERT_TRUE(queue.Push(next, 2));
  std::vector<int16_t> two(2);
  EXPECT_EQ(queue.Fill(two.data(), 2, 1), 1u);
  EXPECT_EQ(two, (std::vector<int16_t>{5, 6}));
}

}  // namespace
}  // namespace tsv
