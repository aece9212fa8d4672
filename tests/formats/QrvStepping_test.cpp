// Backward seeks and the index-range stepping of the ".vse" reader, where
// entry types 0 and 0x1001 are key pictures, 0x1002 predicted pictures and
// 0x8000 sound. Each frame carries its 1-based number, so reading the frame
// at the file position tells which entry an operation positioned it at.
#include <gtest/gtest.h>

#include "formats/CZKQRV.h"
#include "formats/RecordingBuilder.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

constexpr uint32_t K0 = kQrvKeyFrame;
constexpr uint32_t K = kQrvKeyFrameAlt;
constexpr uint32_t P = kQrvPredictedFrame;
constexpr uint32_t A = kQrvAudioFrame;

struct Stepper {
  TempDir dir;
  RecordingSink sink;
  CZKQRV reader{sink};

  // Stream type 5: key-referenced MPEG-4 (mode 1); 4: ordinary chain
  // (mode 0); 6: sound only.
  explicit Stepper(const std::vector<uint32_t>& types, uint8_t streamType = kQrvStreamMpeg4KeyRef) {
    QrvBuilder b(streamType);
    b.AddFrames(types);
    WriteBytes(dir.File("s.vse"), b.Bytes());
    EXPECT_TRUE(reader.OpenFileToGetDecoder(dir.File("s.vse"), nullptr));
  }

  void PlaceAt(int entry) {
    reader.SeekFilePointToBeginFrame();
    for (int i = 0; i < entry; ++i) ASSERT_TRUE(reader.ReadCurrentFrameInfo(0, 0));
  }
};

struct Walk {
  std::vector<int> read;
  std::vector<int> shown;
  bool ended = false;
};

// Calls position() until it fails, reading the frame at each position; at
// most 64 steps (a longer walk over these files never ends).
template <typename Position>
Walk RunWalk(CRecFile& reader, Position position) {
  Walk w;
  for (int step = 0; step < 64; ++step) {
    if (!position()) {
      w.ended = true;
      return w;
    }
    const int entry = EntryAtFilePosition(reader);
    w.read.push_back(entry);
    if (entry >= 0 && reader.MP4CheckFrameShow(static_cast<uint32_t>(entry))) w.shown.push_back(entry);
  }
  return w;
}

TEST(QrvStepping, PreKeyFrameSeekReportsEntryZeroAsFailure) {
  //                 0   1  2  3  4  5  6  7
  Stepper s({K0, P, A, P, K, P, A, P});
  struct Case {
    int index;
    bool result;
    int entryAfter;
    uint32_t atStart, keyFound;
  };
  const Case cases[] = {
      {7, true, 4, 0, 1},
      {4, true, 4, 0, 1},
      {3, false, 6, 1, 0},  // only entry 0 before it: never sought, and not a success here
      {0, false, 6, 1, 0},
      {100, true, 4, 0, 1},
      {-1, false, 6, 9, 9},
  };
  for (const Case& c : cases) {
    s.PlaceAt(6);
    s.reader.state().atStart = 9;
    s.reader.state().keyFrameFound = 9;
    EXPECT_EQ(s.reader.SetFilePointerToPreIFrame(c.index), c.result) << c.index;
    EXPECT_EQ(s.reader.state().atStart, c.atStart) << c.index;
    EXPECT_EQ(s.reader.state().keyFrameFound, c.keyFound) << c.index;
    EXPECT_EQ(EntryAtFilePosition(s.reader), c.entryAfter) << c.index;
  }

  // Type 0 is a key picture in this layout; the ".vs4" key types are not.
  Stepper t({K, P, K0, P, 1, 3});
  EXPECT_TRUE(t.reader.SetFilePointerToPreIFrame(5));
  EXPECT_EQ(EntryAtFilePosition(t.reader), 2);
}

TEST(QrvStepping, PreKeyFrameSeekByPercentUsesTheIndexCount) {
  Stepper s({K, P, P, P, K, P, P});  // N = 7
  EXPECT_EQ(s.reader.PercentToFrameIndex(50), 3u);
  EXPECT_EQ(s.reader.PercentToFrameIndex(100), 7u);
  EXPECT_EQ(s.reader.PercentToFrameIndex(0x10000 + 100), 7u);
  struct Case {
    int percent;
    int entryAfter;
  };
  for (const Case c : {Case{100, 4}, Case{60, 4}, Case{50, 1}, Case{0, 1}}) {
    s.PlaceAt(1);
    EXPECT_TRUE(s.reader.SetFilePointerToPreIFrame(Percent{c.percent}));  // success whatever happened
    EXPECT_EQ(EntryAtFilePosition(s.reader), c.entryAfter) << c.percent;
  }
}

TEST(QrvStepping, SearchIFrameExistCountsTheEntryButNotTheLast) {
  struct Case {
    std::vector<uint32_t> types;
    uint32_t index;
    bool found;
  };
  const Case cases[] = {
      {{K, P, P, P, P, K}, 0, true},    // entry 0 itself
      {{K, P, P, P, P, K}, 1, false},   // entry N - 1 is never looked at
      {{K, P, P, P, P, K}, 3, false},
      {{K, P, P, P, P, K}, 4, false},   // index N - 2 and above: no
      {{K, P, P, P, P, K}, 9, false},
      {{P, P, K0, P, P, P}, 2, true},   // the entry itself counts
      {{P, P, K0, P, P, P}, 1, true},
      {{P, P, K0, P, P, P}, 3, false},
      {{P, A, P, P, P, K}, 0, false},
      {{K, K, K}, 0, true},
      {{K, K}, 0, false},
      {{K}, 0, false},
  };
  for (const Case& c : cases) {
    Stepper s(c.types);
    EXPECT_EQ(s.reader.SearchIFrameExist(c.index), c.found) << c.index << " of " << c.types.size();
  }
  RecordingSink sink;
  CZKQRV closed(sink);
  EXPECT_FALSE(closed.SearchIFrameExist(0));
}

TEST(QrvStepping, Mp4FindNextIndexRangeWithThisLayoutsTypes) {
  //                 0  1  2  3  4   5  6  7  8  9
  Stepper s({K, P, P, A, K0, P, A, A, P, K});
  struct Case {
    int index;
    bool found;
    int start, end;
  };
  const Case cases[] = {
      {0, false, 0, 0}, {9, true, 9, 9}, {4, true, 4, 4}, {8, true, 4, 8}, {2, true, 0, 2},
      {7, true, 4, 5},  {6, true, 4, 5}, {3, true, 0, 2},
  };
  for (const Case& c : cases) {
    s.reader.stepping() = {77, 77, 77, 0, 0};
    EXPECT_EQ(s.reader.MP4FindNextIndexRange(c.index), c.found) << c.index;
    if (c.found) {
      EXPECT_EQ(s.reader.stepping().rangeStart, c.start) << c.index;
      EXPECT_EQ(s.reader.stepping().rangeEnd, c.end) << c.index;
      EXPECT_EQ(s.reader.stepping().cursor, 0) << c.index;
    }
  }
  // Types 1, 2 and 3 mean nothing in this layout.
  Stepper t({K, P, 2, 1, 3});
  for (int index : {2, 3, 4}) EXPECT_FALSE(t.reader.MP4FindNextIndexRange(index)) << index;
}

TEST(QrvStepping, FindNextIndexRangeLooksForAKeyPictureDownToEntryZero) {
  //                 0  1  2  3  4   5
  Stepper s({A, K, P, P, K0, P});
  struct Case {
    int index;
    bool found;
    int cursor;
  };
  const Case cases[] = {{5, true, 4}, {4, true, 4}, {3, true, 1}, {1, true, 1}, {0, false, 77}, {-1, false, 77}};
  for (const Case& c : cases) {
    s.reader.stepping() = {55, 66, 77, 1, 0};
    s.reader.state().atStart = 1;
    s.reader.state().keyFrameFound = 0;
    EXPECT_EQ(s.reader.FindNextIndexRange(c.index), c.found) << c.index;
    EXPECT_EQ(s.reader.stepping().cursor, c.cursor) << c.index;
    EXPECT_EQ(s.reader.stepping().reachedStart, 0u);
    EXPECT_EQ(s.reader.stepping().showToggle, 1u);
    EXPECT_EQ(s.reader.stepping().rangeEnd, 55);  // the range is not computed here
    EXPECT_EQ(s.reader.stepping().rangeStart, 66);
    EXPECT_EQ(s.reader.state().atStart, c.found ? 0u : 1u) << c.index;
    EXPECT_EQ(s.reader.state().keyFrameFound, c.found ? 1u : 0u) << c.index;
  }
  Stepper t({K0, P});
  EXPECT_TRUE(t.reader.FindNextIndexRange(0));  // entry 0 counts here
  EXPECT_EQ(t.reader.stepping().cursor, 0);
}

TEST(QrvStepping, BackwardWalkInPredictedMode) {
  struct Case {
    const char* name;
    std::vector<uint32_t> types;
    int from;
    bool throughRange;  // MP4FindNextIndexRange instead of FindNextIndexRange
    std::vector<int> read;
    std::vector<int> shown;
  };
  const Case cases[] = {
      // The window's call lands on the key picture at or before the frame.
      {"from the window", {K, P, P, K, P, P}, 5, false, {3, 3, 0, 2, 1, 0}, {3, 2, 1, 0}},
      {"through the range", {K, P, P, K, P, P}, 5, true, {3, 5, 4, 3, 0, 2, 1, 0}, {5, 4, 3, 2, 1, 0}},
      {"first range", {K0, P, P, K, P}, 2, true, {0, 2, 1, 0}, {2, 1, 0}},
      {"key pictures only", {K0, K0, K0}, 2, false, {2, 2, 1, 1, 0, 0}, {2, 1, 0}},
      {"sound first", {A, K, P, P}, 3, true, {1, 3, 2, 1}, {3, 2, 1}},
      {"from entry 0", {K0, P}, 0, false, {0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stepper s(c.types);
    ASSERT_EQ(s.reader.state().predictedStreamMode, 1u);
    s.reader.state().reverse = 1;
    if (c.throughRange) {
      s.reader.stepping().showToggle = 1;
      ASSERT_TRUE(s.reader.MP4FindNextIndexRange(c.from));
    } else {
      ASSERT_TRUE(s.reader.FindNextIndexRange(c.from));
    }
    const Walk w = RunWalk(s.reader, [&] { return s.reader.MP4SetTargetFilePointer(); });
    EXPECT_TRUE(w.ended);
    EXPECT_EQ(w.read, c.read);
    if (c.from != 0) {
      EXPECT_EQ(w.shown, c.shown);
    }
  }
}

TEST(QrvStepping, BackwardWalkInChainMode) {
  Stepper s({K, P, P, K0, P, P}, kQrvStreamMpeg4Chain);
  ASSERT_EQ(s.reader.state().predictedStreamMode, 0u);
  ASSERT_TRUE(s.reader.FindNextIndexRange(5));
  const Walk w = RunWalk(s.reader, [&] { return s.reader.MP4SetTargetFilePointer(); });
  EXPECT_TRUE(w.ended);
  EXPECT_EQ(w.read, (std::vector<int>{3, 0}));
}

TEST(QrvStepping, JpegWalkReachesEntryZero) {
  struct Case {
    const char* name;
    std::vector<uint32_t> types;
    int from;
    std::vector<int> read;
  };
  const Case cases[] = {
      {"key pictures", {K0, K0, K0, K0}, 3, {3, 2, 1, 0}},
      {"with sound", {K0, A, K, A, K0}, 4, {4, 2, 0}},
      {"sound first", {A, A, K}, 2, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stepper s(c.types, kQrvStreamSoundOnly);
    ASSERT_TRUE(s.reader.FindNextIndexRange(c.from));
    const Walk w = RunWalk(s.reader, [&] { return s.reader.JpegSetTargetFilePointer(); });
    EXPECT_TRUE(w.ended);
    EXPECT_EQ(w.read, c.read);
  }
}

TEST(QrvStepping, FrameShowToggleFollowsThisLayoutsKeyTypes) {
  Stepper s({K0, K, P, 1, 3});
  s.reader.state().reverse = 1;
  s.reader.stepping().showToggle = 1;
  EXPECT_FALSE(s.reader.MP4CheckFrameShow(0));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(1));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(2));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(3));  // ".vs4" key types do not flip it
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(4));
  EXPECT_FALSE(s.reader.MP4CheckFrameShow(1));
}

}  // namespace
}  // namespace tsv::test
