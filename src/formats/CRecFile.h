// The reader interface every consumer holds: one polymorphic reader per
// recording layout. Operations a reader does not provide log their name
// and return the default listed beside them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/MessageSink.h"
#include "formats/PlaybackState.h"
#include "formats/SegmentOutput.h"
#include "formats/VsxLayout.h"
#include "platform/SystemTime.h"

namespace tsv {

class Event;

// A position given as a percentage of the file (only the low 16 bits count).
struct Percent {
  int value = 0;
};

// Frame kinds returned by the frame-kind tests.
constexpr uint8_t kFrameOther = 0;
constexpr uint8_t kFramePicture = 1;
constexpr uint8_t kFrameSound = 2;

class CRecFile {
 public:
  explicit CRecFile(MessageSink& sink);
  virtual ~CRecFile();
  CRecFile(const CRecFile&) = delete;
  CRecFile& operator=(const CRecFile&) = delete;

  // 1
  virtual uint8_t GetFileResolution();
  // 2: start time of the recording.
  virtual bool GetFileTimestamp(SYSTEMTIME* out);
  // 3, 4: seek to the key frame at or before an index entry / a percentage.
  virtual bool SetFilePointerToPreIFrame(int index);
  virtual bool SetFilePointerToPreIFrame(Percent percent);
  // 5: open, read header and index, set up the decoder.
  virtual bool OpenFileToGetDecoder(const std::string& path, uint32_t* streamFlag);
  // 6
  virtual void SeekFilePointToBeginFrame();
  // 7: read the next frame header and payload into a frame-ring slot.
  virtual bool ReadCurrentFrameInfo(uint32_t slot, uint32_t expectedTag);
  // 8: frame time in milliseconds; 9: wall-clock time of the frame.
  virtual uint32_t GetCurrentFrameTimestamp(uint32_t slot, uint32_t pts);
  virtual bool GetCurrentFrameTimestamp(uint32_t slot, SYSTEMTIME* out, bool fromFrame);
  // 10
  virtual uint8_t GetCurrentFrameResolution(uint32_t slot, uint16_t width, uint16_t height, bool fromFrame);
  // 11 .. 16
  virtual uint8_t GetCurrentFrameChannel(uint32_t slot);
  virtual uint32_t GetCurrentFrameIndex(uint32_t slot);
  virtual uint32_t GetCurrentFrameSize(uint32_t slot);
  virtual uint32_t GetCurrentFrameReserve(uint32_t slot);
  virtual ImaAdpcmState GetCurrentFrameADPCMState(uint32_t slot);
  virtual uint32_t GetCurrentFrameTimerInterval(uint32_t slot);
  // 17: is there a key frame after that entry.
  virtual bool SearchIFrameExist(uint32_t index);
  // 18, 19
  virtual bool ParseFramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
                             uint32_t* height, uint32_t* reserved, uint32_t* pictureType);
  virtual bool ParseMp4FramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
                                uint32_t* height, uint32_t* reserved, uint32_t* pictureType);
  // 20, 21: 1 picture, 2 sound, 0 other. Reads the first four bytes.
  virtual uint8_t GetJpegFrameKind(const uint8_t* payload);
  virtual uint8_t GetMp4FrameKind(const uint8_t* payload);
  // 22, 23: picture decoders; `picture` is a picture-ring slot.
  virtual bool DoJpegDecode(const uint8_t* payload, uint32_t length, uint8_t* picture, uint16_t* width,
                            uint16_t* height);
  virtual bool DoMp4Decode(const uint8_t* payload, uint32_t length, uint32_t one, uint32_t pictureType,
                           uint16_t* width, uint16_t* height, uint8_t* picture);
  // 24: line-doubles a field picture; may replace *picture.
  virtual uint32_t ExpandFieldPicture(uint16_t width, uint16_t height, uint8_t** picture);
  // 25, 26
  virtual void GetFileIPAddress(uint32_t* out);
  virtual void GetRecordStyleText(std::string* out);
  // 27 .. 30: backward stepping over index ranges.
  virtual bool MP4SetTargetFilePointer();
  virtual bool MP4FindNextIndexRange(int index);
  virtual bool FindNextIndexRange(int index);
  virtual bool MP4CheckFrameShow(uint32_t index);
  // 31
  virtual uint32_t PercentToFrameIndex(int percent);
  // 32 .. 35
  virtual bool JpegSetTargetFilePointer();
  virtual bool JpegFindNextIndexRange(int index);
  virtual bool JpegCheckFrameShow(uint32_t index);
  virtual bool JpegDoSleep(Event* stopEvent);
  // 36: the nearest picture entry at or before a 1-based index.
  virtual bool GetNonAudioFrameIndex(uint32_t* index);
  // 37
  virtual bool IsMatchFormat(uint8_t code);
  // 38 .. 40: segment writer.
  virtual std::unique_ptr<SegmentOutput> CreateVsxFileAndFormat(uint32_t slot);
  virtual uint32_t WriteVsxCurrentFrame(SegmentOutput* out, const uint8_t* payload, uint32_t length,
                                        uint32_t slot, uint32_t sourceFrameNumber, uint32_t framesWritten);
  virtual bool EndOfVsxFile(SegmentOutput* out, uint32_t frameCount);

  PlaybackState& state() { return *state_; }
  const std::vector<RecIndexEntry>& frameIndex() const { return index_; }
  // The payload buffer of a frame-ring slot (slot taken modulo 50).
  uint8_t* FrameSlot(uint32_t slot);

  // Whether the file position has reached the end of the frames (the
  // index or beyond): nothing more can be read forwards.
  bool PastFrameArea() const {
    return !state_->file.IsOpen() || state_->file.Tell() < 0 ||
           static_cast<uint64_t>(state_->file.Tell()) >= frameAreaEnd_;
  }

  // Whether index entry i is a key picture (a decode can start there).
  bool IsKeyEntry(std::size_t i) const { return i < index_.size() && indexTypes_->isKey(index_[i].type); }
  bool IsSoundEntry(std::size_t i) const { return i < index_.size() && indexTypes_->isSound(index_[i].type); }

  // Stepping fields of the index-range operations.
  struct Stepping {
    int32_t rangeEnd = 0;
    int32_t rangeStart = 0;
    int32_t cursor = 0;
    uint32_t reachedStart = 0;
    uint32_t showToggle = 0;
  };
  Stepping& stepping() { return stepping_; }

  // Classification of a layout's index entry types.
  struct IndexTypes {
    bool (*isKey)(uint32_t type);
    bool (*isPredicted)(uint32_t type);
    bool (*isSound)(uint32_t type);
  };

 protected:
  // Logs "<name> : here is virtual function".
  void NotProvided(const char* name);
  void ShowString(uint32_t id);
  bool SeekTo(uint32_t offset);

  // Opens the recording, reads its frame index and the first headerSize
  // bytes into `header`. On failure closes the file, shows "Open file is
  // failed." and returns false.
  bool OpenRecordingFile(const std::string& path, std::size_t frameAreaStart, uint8_t* header,
                         std::size_t headerSize);

  // Reads the frame index at the end of the open file into index_ after
  // checking that it fits in the file behind headerSize bytes. False (the
  // index left empty) when it does not.
  bool ReadFrameIndex(std::size_t headerSize);

  // Index-range stepping shared by the layouts (see IndexStepping.cpp).
  // Walks back from an index entry to the nearest key picture above entry 0
  // and sets the at-start and key-found flags; returns that entry, or 0
  // when the walk reached the start.
  int StepBackToKey(int index, const IndexTypes& types);
  bool StepPreKeyFrameSeek(int index, const IndexTypes& types, bool entryZeroResult);
  bool StepMp4FindNextIndexRange(int index, const IndexTypes& types);
  bool StepMp4SetTargetFilePointer(const IndexTypes& types);
  bool StepMp4CheckFrameShow(uint32_t index, const IndexTypes& types);
  bool StepJpegSetTargetFilePointer();
  bool StepSearchKeyFrame(uint32_t from, uint32_t to, const IndexTypes& types);
  // An index clamped to the last entry (a percentage of 100 names one past it).
  int ClampIndex(uint32_t index) const;

  // Set by each reader's constructor.
  const IndexTypes* indexTypes_ = nullptr;
  MessageSink& sink_;
  std::unique_ptr<PlaybackState> state_;
  std::vector<RecIndexEntry> index_;
  // First byte after the frames (where the index starts); index offsets
  // must lie before it.
  uint64_t frameAreaEnd_ = 0;
  Stepping stepping_;
  // Set when MP4FindNextIndexRange has found a range that
  // MP4SetTargetFilePointer has not opened yet (its cursor is 0 then, as it
  // is when a walk has come down to entry 0).
  bool rangePending_ = false;
};

}  // namespace tsv
