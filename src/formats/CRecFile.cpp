#include "formats/CRecFile.h"

#include <string>

#include "formats/StringTable.h"
#include "platform/ByteIO.h"

namespace tsv {

CRecFile::CRecFile(MessageSink& sink) : sink_(sink), state_(std::make_unique<PlaybackState>()) {}

CRecFile::~CRecFile() = default;

void CRecFile::NotProvided(const char* name) { sink_.Log(std::string(name) + " : here is virtual function"); }

void CRecFile::ShowString(uint32_t id) { sink_.ShowMessage(LoadString(id)); }

uint8_t* CRecFile::FrameSlot(uint32_t slot) {
  if (!state_->frameRing) PrepareRings(*state_, false);
  return state_->frameRing.get() + static_cast<std::size_t>(slot % kRingSlots) * kFrameSlotSize;
}

bool CRecFile::SeekTo(uint32_t offset) {
  // An index offset must point into the frame area, never past the file.
  if (offset >= frameAreaEnd_) return false;
  return state_->file.Seek(offset, File::Origin::Begin);
}

bool CRecFile::ReadFrameIndex(std::size_t headerSize) {
  index_.clear();
  frameAreaEnd_ = 0;
  File& file = state_->file;
  const long long size = file.Size();
  if (size < static_cast<long long>(headerSize + 4)) return false;
  uint8_t countBytes[4];
  if (!file.Seek(-4, File::Origin::End) || !file.ReadExact(countBytes, 4)) return false;
  const uint64_t count = GetU32LE(countBytes);
  const uint64_t room = static_cast<uint64_t>(size) - headerSize - 4;
  if (count * kIndexEntrySize > room) return false;
  std::vector<uint8_t> bytes(count * kIndexEntrySize);
  if (!file.Seek(-static_cast<long long>(4 + bytes.size()), File::Origin::End) ||
      !file.ReadExact(bytes.data(), bytes.size()))
    return false;
  frameAreaEnd_ = static_cast<uint64_t>(size) - 4 - bytes.size();
  index_.resize(count);
  for (std::size_t i = 0; i < count; ++i) index_[i] = ParseIndexEntry(bytes.data() + i * kIndexEntrySize);
  return true;
}

bool CRecFile::OpenRecordingFile(const std::string& path, std::size_t frameAreaStart, uint8_t* header,
                                 std::size_t headerSize) {
  File& file = state_->file;
  if (!file.OpenExisting(path, true) || !ReadFrameIndex(frameAreaStart) || !file.Seek(0, File::Origin::Begin) ||
      !file.ReadExact(header, headerSize)) {
    file.Close();
    ShowString(kStrOpenFileFailed);
    return false;
  }
  state_->filePath = path;
  state_->indexCount = static_cast<uint32_t>(index_.size());
  return true;
}

int CRecFile::ClampIndex(uint32_t index) const {
  if (index_.empty()) return 0;
  return static_cast<int>(index < index_.size() ? index : index_.size() - 1);
}

uint8_t CRecFile::GetFileResolution() {
  NotProvided("GetFileResolution");
  return 0;
}
bool CRecFile::GetFileTimestamp(SYSTEMTIME*) {
  NotProvided("GetFileTimestamp");
  return false;
}
bool CRecFile::SetFilePointerToPreIFrame(int) {
  NotProvided("SetFilePointerToPreIFrame");
  return false;
}
bool CRecFile::SetFilePointerToPreIFrame(Percent) {
  NotProvided("SetFilePointerToPreIFrame");
  return false;
}
bool CRecFile::OpenFileToGetDecoder(const std::string&, uint32_t*) {
  NotProvided("OpenFileToGetDecoder");
  return false;
}
void CRecFile::SeekFilePointToBeginFrame() { NotProvided("SeekFilePointToBeginFrame"); }
bool CRecFile::ReadCurrentFrameInfo(uint32_t, uint32_t) {
  NotProvided("ReadCurrentFrameInfo");
  return false;
}
uint32_t CRecFile::GetCurrentFrameTimestamp(uint32_t, uint32_t) {
  NotProvided("GetCurrentFrameTimestamp");
  return 0;
}
bool CRecFile::GetCurrentFrameTimestamp(uint32_t, SYSTEMTIME*, bool) {
  NotProvided("GetCurrentFrameTimestamp");
  return false;
}
uint8_t CRecFile::GetCurrentFrameResolution(uint32_t, uint16_t, uint16_t, bool) {
  NotProvided("GetCurrentFrameResolution");
  return 0;
}
uint8_t CRecFile::GetCurrentFrameChannel(uint32_t) {
  NotProvided("GetCurrentFrameChannel");
  return 0;
}
uint32_t CRecFile::GetCurrentFrameIndex(uint32_t) {
  NotProvided("GetCurrentFrameIndex");
  return 0;
}
uint32_t CRecFile::GetCurrentFrameSize(uint32_t) {
  NotProvided("GetCurrentFrameSize");
  return 0;
}
uint32_t CRecFile::GetCurrentFrameReserve(uint32_t) {
  NotProvided("GetCurrentFrameReserve");
  return 0;
}
ImaAdpcmState CRecFile::GetCurrentFrameADPCMState(uint32_t) {
  NotProvided("GetCurrentFrameADPCMState");
  return {};
}
uint32_t CRecFile::GetCurrentFrameTimerInterval(uint32_t) {
  NotProvided("GetCurrentFrameTimerInterval");
  return 0;
}
bool CRecFile::SearchIFrameExist(uint32_t) {
  NotProvided("SearchIFrameExist");
  return false;
}
bool CRecFile::ParseFramePes(const uint8_t*, uint32_t, uint32_t*, uint32_t* width, uint32_t* height, uint32_t*,
                             uint32_t*) {
  if (width) *width = 0;
  if (height) *height = 0;
  return true;
}
bool CRecFile::ParseMp4FramePes(const uint8_t*, uint32_t, uint32_t*, uint32_t*, uint32_t*, uint32_t*,
                                uint32_t*) {
  return true;
}
uint8_t CRecFile::GetJpegFrameKind(const uint8_t*) { return kFramePicture; }
uint8_t CRecFile::GetMp4FrameKind(const uint8_t*) { return kFramePicture; }
bool CRecFile::DoJpegDecode(const uint8_t*, uint32_t, uint8_t*, uint16_t*, uint16_t*) {
  NotProvided("DoJpegDecode");
  return false;
}
bool CRecFile::DoMp4Decode(const uint8_t*, uint32_t, uint32_t, uint32_t, uint16_t*, uint16_t*, uint8_t*) {
  NotProvided("DoMp4Decode");
  return false;
}
uint32_t CRecFile::ExpandFieldPicture(uint16_t, uint16_t, uint8_t**) { return 1; }
void CRecFile::GetFileIPAddress(uint32_t*) { NotProvided("GetFileIPAddress"); }
void CRecFile::GetRecordStyleText(std::string*) { NotProvided("GetRecordStyleText"); }
bool CRecFile::MP4SetTargetFilePointer() {
  NotProvided("MP4SetTargetFilePointer");
  return false;
}
bool CRecFile::MP4FindNextIndexRange(int) {
  NotProvided("MP4FindNextIndexRange");
  return false;
}
bool CRecFile::FindNextIndexRange(int) {
  NotProvided("FindNextIndexRange");
  return false;
}
bool CRecFile::MP4CheckFrameShow(uint32_t) {
  NotProvided("MP4CheckFrameShow");
  return false;
}
uint32_t CRecFile::PercentToFrameIndex(int) {
  NotProvided("PercentToFrameIndex");
  return 0;
}
bool CRecFile::JpegSetTargetFilePointer() {
  NotProvided("JpegSetTargetFilePointer");
  return false;
}
bool CRecFile::JpegFindNextIndexRange(int) {
  NotProvided("JpegFindNextIndexRange");
  return false;
}
bool CRecFile::JpegCheckFrameShow(uint32_t) {
  NotProvided("JpegCheckFrameShow");
  return false;
}
bool CRecFile::JpegDoSleep(Event*) {
  NotProvided("JpegDoSleep");
  return false;
}
bool CRecFile::GetNonAudioFrameIndex(uint32_t*) {
  NotProvided("GetNonAudioFrameIndex");
  return false;
}
bool CRecFile::IsMatchFormat(uint8_t) { return true; }
std::unique_ptr<SegmentOutput> CRecFile::CreateVsxFileAndFormat(uint32_t) {
  NotProvided("CreateVsxFileAndFormat");
  return nullptr;
}
uint32_t CRecFile::WriteVsxCurrentFrame(SegmentOutput*, const uint8_t*, uint32_t, uint32_t, uint32_t,
                                        uint32_t framesWritten) {
  NotProvided("WriteVsxCurrentFrame");
  return framesWritten;
}
bool CRecFile::EndOfVsxFile(SegmentOutput*, uint32_t) {
  NotProvided("EndOfVsxFile");
  return false;
}

}  // namespace tsv
