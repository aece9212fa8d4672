#include "cli/Recording.h"

#include <cstdio>

#include "formats/RecordingOpener.h"

namespace tsv::cli {

OpenedRecording OpenRecording(const std::string& path, bool withDecoder) {
  OpenedRecording opened;
  std::string error;
  opened.reader = OpenRecordingReader(path, *opened.sink, withDecoder, &opened.streamFlag, &error);
  if (!opened.reader) {
    const std::string reason = opened.sink->last.empty() ? error : opened.sink->last;
    std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
    return opened;
  }
  opened.qrv = UpperExtension4(path) == ".VSE";
  return opened;
}

bool ReadNextFrame(CRecFile& reader, uint32_t k) {
  PlaybackState& st = reader.state();
  if (k == 0) st.qrvFirstFrame = 1;
  const uint32_t slot = k % kRingSlots;
  if (!reader.ReadCurrentFrameInfo(slot, k == 0 ? 0 : st.fileMagic)) return false;
  st.readSlotIndex = slot;
  return true;
}

uint8_t FrameKindOf(CRecFile& reader, uint32_t slot) {
  const uint8_t* payload = reader.FrameSlot(slot);
  if (reader.GetCurrentFrameSize(slot) < 4) return kFrameOther;
  const bool mpeg4 = (reader.state().decoder.kind & 0xFF) == kDecoderMpeg4;
  return mpeg4 ? reader.GetMp4FrameKind(payload) : reader.GetJpegFrameKind(payload);
}

bool ParseFileAndJson(const Args& args, std::string* path, bool* json) {
  for (const auto& a : args) {
    if (a == "--json") *json = true;
    else if (path->empty() && a.rfind("--", 0) != 0) *path = a;
    else return false;
  }
  return !path->empty();
}

}  // namespace tsv::cli
