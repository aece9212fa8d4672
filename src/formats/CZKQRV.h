// The reader of ".vse" recordings in the QRV layout: 80-byte header,
// frames with variable-length headers, frame index at the end.
#pragma once

#include <array>
#include <vector>

#include "formats/CRecFile.h"
#include "formats/SegmentWriter.h"
#include "formats/QrvLayout.h"

namespace tsv {

// What the reader keeps of the frame in one slot. Header fields whose flag
// was absent keep the value of the last frame read into the slot.
struct QrvFrameRecord {
  QrvFrameHeader header;
  uint8_t resolutionCode = 0;
  SYSTEMTIME timestamp;
  uint32_t timerInterval = 0;  // milliseconds
};

class CZKQRV : public CRecFile {
 public:
  explicit CZKQRV(MessageSink& sink);
  ~CZKQRV() override;

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
  bool ParseMp4FramePes(const uint8_t* payload, uint32_t length, uint32_t* pts, uint32_t* width,
                        uint32_t* height, uint32_t* reserved, uint32_t* pictureType) override;
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

  const QrvFileHeader& header() const { return header_; }
  const QrvFrameRecord& record(uint32_t slot) const { return records_[slot % kRingSlots]; }

 private:
  QrvFileHeader header_;
  std::array<uint8_t, kQrvHeaderSize> rawHeader_{};  // as read, for segments
  std::vector<QrvFrameRecord> records_ = std::vector<QrvFrameRecord>(kRingSlots);
  SegmentWriter segment_;
  uint8_t fileResolutionCode_ = 6;
  std::unique_ptr<uint8_t[]> firstPicture_;
};

}  // namespace tsv
