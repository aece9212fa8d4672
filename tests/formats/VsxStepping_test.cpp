// Backward seeks and the index-range stepping of the ".vs4" reader. Each
// frame carries its 1-based number, so reading the frame at the file
// position tells which index entry an operation positioned the file at.
#include <gtest/gtest.h>

#include "formats/CVsxFile.h"
#include "formats/RecordingBuilder.h"
#include "support/TestSupport.h"

namespace tsv::test {
namespace {

constexpr uint32_t A = kVsxAudioFrame;
constexpr uint32_t K = kVsxKeyFrame;
constexpr uint32_t P = kVsxPredictedFrame;
constexpr uint32_t K3 = kVsxKeyFrameAlt;

struct Stepper {
  TempDir dir;
  RecordingSink sink;
  CVsxFile reader{sink};

  // sourceFormat 102 gives predicted-stream mode 0, anything else mode 1.
  explicit Stepper(const std::vector<uint32_t>& types, uint32_t magic = kMpeg4Magic, uint8_t sourceFormat = 0) {
    VsxBuilder b;
    b.header.magic = magic;
    b.header.sourceFormat = sourceFormat;
    b.AddFrames(types);
    WriteBytes(dir.File("s.vs4"), b.Bytes());
    EXPECT_TRUE(reader.OpenFileToGetDecoder(dir.File("s.vs4"), nullptr));
  }

  // Puts the file at entry `entry` by reading the frames before it.
  void PlaceAt(int entry) {
    reader.SeekFilePointToBeginFrame();
    for (int i = 0; i < entry; ++i) ASSERT_TRUE(reader.ReadCurrentFrameInfo(0, 0));
  }
};

// Calls position() until it fails and reads the frame at every position it
// produced; also asks MP4CheckFrameShow about each. Stops after 64 steps: a
// walk that long over these files is a walk that never ends.
struct Walk {
  std::vector<int> read;
  std::vector<int> shown;
  bool ended = false;
};

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

TEST(VsxStepping, PreKeyFrameSeekNeverSeeksToEntryZero) {
  //                 0  1  2  3  4   5  6  7
  Stepper s({K, P, A, P, K3, P, A, P});
  struct Case {
    int index;
    bool result;
    int entryAfter;  // where the next read lands
    uint32_t atStart, keyFound;
  };
  const Case cases[] = {
      {7, true, 4, 0, 1},   // back to the key picture of type 3
      {4, true, 4, 0, 1},   // at the key picture itself
      {3, true, 6, 1, 0},   // entry 0 is a key picture but is never sought: the file stays put
      {0, true, 6, 1, 0},
      {100, true, 4, 0, 1}, // past the end: from the last entry
      {-1, false, 6, 9, 9}, // nothing happens
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
}

TEST(VsxStepping, PreKeyFrameSeekByPercent) {
  Stepper s({K, P, P, P, K, P, P, P, K, P});  // frame count 10
  struct Case {
    int percent;
    int entryAfter;
    uint32_t atStart;
  };
  const Case cases[] = {
      {100, 8, 0},      // index 10 is one past the last entry: clamped to 9
      {90, 8, 0},       // index 9
      {80, 8, 0},       // index 8, a key picture
      {79, 4, 0},       // index 7
      {30, 1, 1},       // index 3: only entry 0 before it, the file stays put
      {0, 1, 1},
      {0x10000 + 50, 4, 0},  // low 16 bits: 50
  };
  for (const Case& c : cases) {
    s.PlaceAt(1);
    EXPECT_TRUE(s.reader.SetFilePointerToPreIFrame(Percent{c.percent}));
    EXPECT_EQ(s.reader.state().atStart, c.atStart) << c.percent;
    EXPECT_EQ(EntryAtFilePosition(s.reader), c.entryAfter) << c.percent;
  }
}

TEST(VsxStepping, WithoutAFileOnlyThePercentFormSucceeds) {
  RecordingSink sink;
  CVsxFile reader(sink);
  EXPECT_FALSE(reader.SetFilePointerToPreIFrame(3));
  EXPECT_TRUE(reader.SetFilePointerToPreIFrame(Percent{50}));
  EXPECT_FALSE(reader.SearchIFrameExist(0));
  EXPECT_TRUE(reader.JpegFindNextIndexRange(3));  // nothing to walk: no failure
}

TEST(VsxStepping, SearchIFrameExistLooksStrictlyAfterTheEntry) {
  struct Case {
    std::vector<uint32_t> types;
    uint32_t index;
    bool found;
  };
  const Case cases[] = {
      {{K, P, P, K3, P, P, A, P}, 0, true},
      {{K, P, P, K3, P, P, A, P}, 2, true},
      {{K, P, P, K3, P, P, A, P}, 3, false},  // the entry itself does not count
      {{K, P, P, K3, P, P, A, P}, 5, false},
      {{K, P, P, P, P, P, P, K}, 5, true},   // the last entry counts
      {{K, P, P, P, P, P, P, K}, 6, false},  // index N - 2 and above: no
      {{K, P, P, P, P, P, P, K}, 7, false},
      {{K, P, P, P, P, P, P, K}, 0xFFFFFFFF, false},
      {{K, K}, 0, false},  // index N - 2
      {{K}, 0, false},     // N - 2 wraps for N = 1; the scan still ends at N
  };
  for (const Case& c : cases) {
    Stepper s(c.types);
    EXPECT_EQ(s.reader.SearchIFrameExist(c.index), c.found) << c.index << " of " << c.types.size();
  }
}

TEST(VsxStepping, FindNextIndexRangeInPredictedMode) {
  //                 0  1  2  3  4  5  6  7  8  9
  Stepper s({K, P, P, A, K3, P, A, A, P, K});
  struct Case {
    int index;
    bool found;
    int start, end;
  };
  const Case cases[] = {
      {0, false, 0, 0},
      {-3, false, 0, 0},
      {9, true, 9, 9},   // a key picture is a range of its own
      {4, true, 4, 4},
      {8, true, 4, 8},   // a predicted picture: back to its key picture
      {2, true, 0, 2},
      {7, true, 4, 5},   // sound: the picture before it decides
      {6, true, 4, 5},
      {3, true, 0, 2},
      {50, true, 9, 9},  // past the end: the last entry
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
}

TEST(VsxStepping, FindNextIndexRangeWithoutAKeyPictureFails) {
  struct Case {
    std::vector<uint32_t> types;
    int index;
  };
  const Case cases[] = {
      {{A, P, P}, 2},     // predicted pictures without a key picture
      {{A, A, A}, 2},     // sound only
      {{A, P, A}, 2},     // sound after a predicted picture without a key picture
      {{K, P, 7, P}, 2},  // an unknown entry type
  };
  for (const Case& c : cases) {
    Stepper s(c.types);
    EXPECT_FALSE(s.reader.MP4FindNextIndexRange(c.index)) << c.index;
  }
}

TEST(VsxStepping, FindNextIndexRangeInChainMode) {
  //                 0  1  2  3  4  5
  Stepper s({A, K, P, P, K3, P}, kMpeg4Magic, 102);
  ASSERT_EQ(s.reader.state().predictedStreamMode, 0u);
  struct Case {
    int index;
    bool result;
    int cursor;
    uint32_t atStart;
  };
  const Case cases[] = {{5, true, 4, 0}, {4, true, 4, 0}, {3, true, 1, 0},
                        {1, true, 1, 0}, {0, true, 0, 1}, {-1, false, 77, 9}};
  for (const Case& c : cases) {
    s.reader.stepping().cursor = 77;
    s.reader.state().atStart = 9;
    EXPECT_EQ(s.reader.MP4FindNextIndexRange(c.index), c.result) << c.index;
    EXPECT_EQ(s.reader.stepping().cursor, c.cursor) << c.index;
    EXPECT_EQ(s.reader.state().atStart, c.atStart) << c.index;
  }
  s.reader.state().predictedStreamMode = 2;  // neither mode
  EXPECT_FALSE(s.reader.MP4FindNextIndexRange(5));
  EXPECT_TRUE(s.reader.MP4SetTargetFilePointer());
}

TEST(VsxStepping, BackwardWalkInPredictedMode) {
  // Each range is read as its key picture (the reference), then from its
  // end down to the key picture, which is then shown.
  struct Case {
    const char* name;
    std::vector<uint32_t> types;
    int from;
    std::vector<int> read;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {"two ranges", {K, P, P, K, P, P}, 5, {3, 5, 4, 3, 0, 2, 1, 0}, {5, 4, 3, 2, 1, 0}},
      {"from a key picture", {K, P, P, K, P, P}, 3, {3, 3, 0, 2, 1, 0}, {3, 2, 1, 0}},
      {"inside the first range", {K, P, P, K, P, P}, 2, {0, 2, 1, 0}, {2, 1, 0}},
      {"sound between", {K, A, P, K3, A, P}, 5, {3, 5, 4, 3, 0, 2, 1, 0}, {5, 3, 2, 0}},
      {"from sound", {K, P, K, P, A}, 4, {2, 3, 2, 0, 1, 0}, {3, 2, 1, 0}},
      // Sound at entry 0: the first range starts at entry 1, and the walk
      // ends after it.
      {"sound first", {A, K, P, P, A, P}, 5, {1, 5, 4, 3, 2, 1}, {5, 3, 2, 1}},
      {"key pictures only", {K, K, K, K}, 3, {3, 3, 2, 2, 1, 1, 0, 0}, {3, 2, 1, 0}},
      {"sound, then key pictures only", {A, K, K}, 2, {2, 2, 1, 1}, {2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stepper s(c.types);
    s.reader.state().reverse = 1;
    ASSERT_TRUE(s.reader.FindNextIndexRange(c.from));
    const Walk w = RunWalk(s.reader, [&] { return s.reader.MP4SetTargetFilePointer(); });
    EXPECT_TRUE(w.ended);
    EXPECT_EQ(w.read, c.read);
    std::vector<int> pictures;
    for (int e : w.shown) {
      if (c.types[e] != A) pictures.push_back(e);
    }
    EXPECT_EQ(pictures, c.shown);
    EXPECT_EQ(s.reader.state().keyFrameFound, 1u);
    EXPECT_EQ(s.reader.state().atStart, 0u);
  }
}

TEST(VsxStepping, BackwardWalkInChainModeGoesFromKeyPictureToKeyPicture) {
  struct Case {
    const char* name;
    std::vector<uint32_t> types;
    int from;
    std::vector<int> read;
  };
  const Case cases[] = {
      {"key pictures", {K, P, P, K, P, P}, 5, {3, 0}},
      {"inside the first stretch", {K, P, P, K, P, P}, 2, {0}},
      {"sound first", {A, K, P, K3, P}, 4, {3, 1, 0}},
      {"from entry 0", {K, P}, 0, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stepper s(c.types, kMpeg4Magic, 102);
    ASSERT_TRUE(s.reader.FindNextIndexRange(c.from));
    const Walk w = RunWalk(s.reader, [&] { return s.reader.MP4SetTargetFilePointer(); });
    EXPECT_TRUE(w.ended);
    EXPECT_EQ(w.read, c.read);
  }
}

TEST(VsxStepping, BackwardWalkOfJpegPictures) {
  struct Case {
    const char* name;
    std::vector<uint32_t> types;
    int from;
    bool found;
    std::vector<int> read;
  };
  const Case cases[] = {
      {"every picture a key picture", {K, K, K, K, K}, 4, true, {4, 3, 2, 1}},  // entry 0 is never read
      {"with sound", {K, A, K, A, K}, 4, true, {4, 2}},
      {"from sound", {K, A, K, A, K}, 3, true, {2}},
      {"from entry 0", {K, K}, 0, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stepper s(c.types, kJpegMagic);
    ASSERT_EQ(s.reader.state().decoder.kind, kDecoderJpeg);
    EXPECT_EQ(s.reader.FindNextIndexRange(c.from), c.found);
    if (!c.found) {
      EXPECT_EQ(s.reader.state().atStart, 1u);
      EXPECT_EQ(s.reader.state().keyFrameFound, 0u);
      continue;
    }
    const Walk w = RunWalk(s.reader, [&] { return s.reader.JpegSetTargetFilePointer(); });
    EXPECT_TRUE(w.ended);
    EXPECT_EQ(w.read, c.read);
  }
}

TEST(VsxStepping, FindNextIndexRangeResetsTheWalk) {
  Stepper s({K, P, P, K, P, P});
  s.reader.stepping().reachedStart = 1;
  s.reader.stepping().showToggle = 0;
  ASSERT_TRUE(s.reader.FindNextIndexRange(4));
  EXPECT_EQ(s.reader.stepping().reachedStart, 0u);
  EXPECT_EQ(s.reader.stepping().showToggle, 1u);
  EXPECT_EQ(s.reader.stepping().rangeStart, 3);
  EXPECT_EQ(s.reader.stepping().rangeEnd, 4);

  // A walk that has ended starts over from a new range.
  const Walk first = RunWalk(s.reader, [&] { return s.reader.MP4SetTargetFilePointer(); });
  EXPECT_EQ(first.read, (std::vector<int>{3, 4, 3, 0, 2, 1, 0}));
  EXPECT_FALSE(s.reader.MP4SetTargetFilePointer());
  ASSERT_TRUE(s.reader.FindNextIndexRange(1));
  const Walk second = RunWalk(s.reader, [&] { return s.reader.MP4SetTargetFilePointer(); });
  EXPECT_EQ(second.read, (std::vector<int>{0, 1, 0}));

  // Another decoder kind answers whether the index is not 0.
  s.reader.state().decoder.kind = 7;
  EXPECT_TRUE(s.reader.FindNextIndexRange(3));
  EXPECT_FALSE(s.reader.FindNextIndexRange(0));
}

TEST(VsxStepping, FrameShowWhileReversingAndFromAFrameNumber) {
  Stepper s({K, P, P, K3, P});
  PlaybackState& st = s.reader.state();

  // Reversing, predicted mode: every key picture flips the toggle.
  st.reverse = 1;
  s.reader.stepping().showToggle = 1;
  EXPECT_FALSE(s.reader.MP4CheckFrameShow(3));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(4));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(2));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(3));
  EXPECT_FALSE(s.reader.MP4CheckFrameShow(0));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(0));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(99));  // not an entry

  // Reversing in chain mode shows everything.
  st.predictedStreamMode = 0;
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(0));
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(0));

  // Forwards: hidden until the frame with the wanted number, then shown.
  st.reverse = 0;
  st.showFromFrame = 1;
  st.showFromFrameNumber = 4;
  EXPECT_FALSE(s.reader.MP4CheckFrameShow(0));
  EXPECT_FALSE(s.reader.MP4CheckFrameShow(2));
  EXPECT_EQ(st.showFromFrame, 1u);
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(3));
  EXPECT_EQ(st.showFromFrame, 0u);
  EXPECT_TRUE(s.reader.MP4CheckFrameShow(1));
  EXPECT_TRUE(s.reader.JpegCheckFrameShow(1));
}

}  // namespace
}  // namespace tsv::test
