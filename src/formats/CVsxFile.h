// The reader of ".vs4" recordings: 76-byte header, frames with 48-byte
// FrameInfo headers, frame index at the end.
#pragma once

#include <array>

#include "formats/CRecFile.h"
#include "formats/SegmentWriter.h"
#include "formats/VsxLayout.h"

namespace tsv {

class CVsxFile : public CRecFile {
 public:
  explicit CVsxFile(MessageSink& sink);
  ~CVsxFile() override;

  uint8_t GetFileResolution() override;
  bool GetFileTimestamp(SYSTEMTIME* out) override;
  bool SetFilePointerToPreIFrame(int index) override;
  bool SetFilePointerToPreIFrame(Percent percent) override;
  bool OpenFileToGetDecoder(const std::string& path, uint32_t* streamFlag) override;
  void SeekFilePointToBeginFrame() override;
  bool ReadCurrentFrameInfo(uint32_t slot, uint32_t expectedTag) override;
  uint32_t GetCurrentFrameTimestamp(uint32_t slot, uint32_t pts) override;
  bool GetCurrentFrameTimestamp(uint32_t slot, SYSTEMTIME* out, bool fromFrame) override;
  uint8_t GetCurrentFrameResolution(uint32_t slot, uint16_t width, uint16_t height, bool fromFrame) override;
  uint8_t GetCurrentFrameChannel(uint32_t slot) override;
  uint32_t GetCurrentFrameIndex(uint32_t slot) override;
  uint32_t GetCurrentFrameSize(uint32_t slot) override;
  uint32_t GetCurrentFrameReserve(uint32_t slot) override;
  ImaAdpcmState GetCurrentFrameADPCMState(uint32_t slot) override;
  uint32_t GetCurrentFrameTimerInterval(uint32_t slot) override;
  bool SearchIFrameExist(uint32_t index) override;
  bool ParseFramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width, uint32_t* height,
                     uint32_t* reserved, uint32_t* pictureType) override;
  bool ParseMp4FramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
                        uint32_t* height, uint32_t* reserved, uint32_t* pictureType) override;
  uint8_t GetJpegFrameKind(const uint8_t* payload) override;
  uint8_t GetMp4FrameKind(const uint8_t* payload) override;
  bool DoJpegDecode(const uint8_t* payload, uint32_t length, uint8_t* picture, uint16_t* width,
                    uint16_t* height) override;
  bool DoMp4Decode(const uint8_t* payload, uint32_t length, uint32_t one, uint32_t pictureType, uint16_t* width,
                   uint16_t* height, uint8_t* picture) override;
  uint32_t ExpandFieldPicture(uint16_t width, uint16_t height, uint8_t** picture) override;
  void GetFileIPAddress(uint32_t* out) override;
  void GetRecordStyleText(std::string* out) override;
  bool MP4SetTargetFilePointer() override;
  bool MP4FindNextIndexRange(int index) override;
  bool FindNextIndexRange(int index) override;
  bool MP4CheckFrameShow(uint32_t index) override;
  uint32_t PercentToFrameIndex(int percent) override;
  bool JpegSetTargetFilePointer() override;
  bool JpegFindNextIndexRange(int index) override;
  bool JpegCheckFrameShow(uint32_t index) override;
  bool JpegDoSleep(Event* stopEvent) override;
  bool GetNonAudioFrameIndex(uint32_t* index) override;
  bool IsMatchFormat(uint8_t code) override;
  std::unique_ptr<SegmentOutput> CreateVsxFileAndFormat(uint32_t slot) override;
  uint32_t WriteVsxCurrentFrame(SegmentOutput* out, const uint8_t* payload, uint32_t length, uint32_t slot,
                                uint32_t sourceFrameNumber, uint32_t framesWritten) override;
  bool EndOfVsxFile(SegmentOutput* out, uint32_t frameCount) override;

  const VsxFileHeader& header() const { return header_; }
  const FrameInfo& frameInfo(uint32_t slot) const { return frames_[slot % kRingSlots]; }

 private:
  VsxFileHeader header_;
  std::array<uint8_t, kVsxHeaderSize> rawHeader_{};  // as read, for segments
  std::array<FrameInfo, kRingSlots> frames_{};
  SegmentWriter segment_;
};

// Index entry types of ".vs4" files.
bool IsVsxKeyType(uint32_t type);

}  // namespace tsv
