// Index-range stepping shared by the recording layouts: backward seeks to
// key frames, the ranges of entries that must be decoded to show an entry,
// and the positioning of the file before each read in backward play.
#include "formats/CRecFile.h"

namespace tsv {

int CRecFile::StepBackToKey(int index, const IndexTypes& types) {
  for (int i = ClampIndex(static_cast<uint32_t>(index)); i > 0; --i) {
    if (types.isKey(index_[i].type)) {
      state_->atStart = 0;
      state_->keyFrameFound = 1;
      return i;
    }
  }
  state_->atStart = 1;
  state_->keyFrameFound = 0;
  return 0;
}

bool CRecFile::StepPreKeyFrameSeek(int index, const IndexTypes& types, bool entryZeroResult) {
  if (!state_->file.IsOpen() || index < 0) return false;
  const int key = StepBackToKey(index, types);
  return key > 0 ? SeekTo(index_[key].offset) : entryZeroResult;
}

bool CRecFile::StepMp4FindNextIndexRange(int index, const IndexTypes& types) {
  const uint32_t mode = state_->predictedStreamMode;
  rangePending_ = false;
  if (mode == 1) {
    if (index <= 0 || index_.empty()) return false;
    const int at = ClampIndex(static_cast<uint32_t>(index));
    const uint32_t t = index_[at].type;
    // The key picture at or before `from`, as the start of a range ending at `end`.
    auto rangeFrom = [&](int from, int end) {
      for (int j = from; j >= 0; --j) {
        if (types.isKey(index_[j].type)) {
          stepping_.rangeEnd = end;
          stepping_.rangeStart = j;
          stepping_.cursor = 0;
          rangePending_ = true;
          return true;
        }
      }
      return false;
    };
    if (types.isKey(t)) return rangeFrom(at, at);
    if (types.isPredicted(t)) return rangeFrom(at - 1, at);
    if (types.isSound(t)) {
      // The nearest picture before the sound frame decides the range.
      for (int j = at - 1; j >= 0; --j) {
        const uint32_t tj = index_[j].type;
        if (types.isKey(tj)) return rangeFrom(j, j);
        if (types.isPredicted(tj)) return rangeFrom(j - 1, j);
      }
      return false;
    }
    return false;
  }
  if (mode == 0) {
    if (!state_->file.IsOpen()) return true;
    if (index < 0) return false;
    stepping_.cursor = StepBackToKey(index, types);
    return true;
  }
  return false;
}

bool CRecFile::StepMp4SetTargetFilePointer(const IndexTypes& types) {
  auto valid = [&](int i) { return i >= 0 && static_cast<std::size_t>(i) < index_.size(); };
  const uint32_t mode = state_->predictedStreamMode;
  if (mode == 1) {
    state_->atStart = 0;
    state_->keyFrameFound = 1;
    Stepping& s = stepping_;
    // A range is read as its key picture first (the reference of every
    // predicted picture in it), then from its end down to its key picture.
    auto openRange = [&]() {
      rangePending_ = false;
      if (s.rangeStart != 0) {
        if (!valid(s.rangeStart) || !SeekTo(index_[s.rangeStart].offset)) return false;
      } else {
        SeekFilePointToBeginFrame();
      }
      s.cursor = s.rangeEnd;
      return true;
    };
    // A range just found has cursor 0 as well; it is opened like any other,
    // so a range that starts at entry 0 is walked too.
    if (rangePending_) return openRange();
    if (s.cursor == 0) {
      if (s.reachedStart) return false;
      if (s.rangeStart != 0) {
        // The range walked last began at entry 1. Re-opening it would read
        // it again forever; entry 0 is a range of its own when it is a key
        // picture, otherwise nothing is left to read.
        if (index_.empty() || !types.isKey(index_[0].type)) {
          s.reachedStart = 1;
          return false;
        }
        s.rangeStart = 0;
        s.rangeEnd = 0;
        return openRange();
      }
      SeekFilePointToBeginFrame();
      s.reachedStart = 1;
      return true;
    }
    if (s.rangeStart <= s.cursor && s.cursor <= s.rangeEnd) {
      if (!valid(s.cursor) || !SeekTo(index_[s.cursor].offset)) return false;
      --s.cursor;
      return true;
    }
    if (!MP4FindNextIndexRange(s.cursor)) return false;
    return openRange();
  }
  if (mode == 0) {
    if (!MP4FindNextIndexRange(stepping_.cursor)) return false;
    if (!valid(stepping_.cursor) || !SeekTo(index_[stepping_.cursor].offset)) return false;
    if (stepping_.cursor == 0) {
      if (stepping_.reachedStart) return false;
      stepping_.reachedStart = 1;
      return true;
    }
    --stepping_.cursor;
    return true;
  }
  return true;
}

bool CRecFile::StepMp4CheckFrameShow(uint32_t index, const IndexTypes& types) {
  if (state_->reverse) {
    if (state_->predictedStreamMode == 1 && index < index_.size() && types.isKey(index_[index].type)) {
      stepping_.showToggle = stepping_.showToggle ? 0 : 1;
      return stepping_.showToggle != 0;
    }
    return true;
  }
  if (state_->showFromFrame) {
    if (index + 1 == state_->showFromFrameNumber) {
      state_->showFromFrame = 0;
      return true;
    }
    return false;
  }
  return true;
}

bool CRecFile::StepJpegSetTargetFilePointer() {
  if (!JpegFindNextIndexRange(stepping_.cursor)) return false;
  const int cursor = stepping_.cursor;
  if (cursor < 0 || static_cast<std::size_t>(cursor) >= index_.size() || !SeekTo(index_[cursor].offset))
    return false;
  if (cursor == 0) {
    if (stepping_.reachedStart) return false;
    stepping_.reachedStart = 1;
    return true;
  }
  --stepping_.cursor;
  return true;
}

bool CRecFile::StepSearchKeyFrame(uint32_t from, uint32_t to, const IndexTypes& types) {
  for (uint32_t j = from; j < to && j < index_.size(); ++j) {
    if (types.isKey(index_[j].type)) return true;
  }
  return false;
}

}  // namespace tsv
