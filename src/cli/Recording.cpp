#include "cli/Recording.h"

#include <cstdio>

#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "formats/StringTable.h"
#include "media/VideoDecoder.h"

namespace tsv::cli {

OpenedRecording OpenRecording(const std::string& path, bool withDecoder) {
  OpenedRecording opened;
  MessageSink& sink = *opened.sink;
  const std::string ext = UpperExtension4(path);
  if (ext == ".VS4") {
    opened.reader = std::make_unique<CVsxFile>(sink);
  } else if (ext == ".VSE") {
    opened.reader = std::make_unique<CZKQRV>(sink);
    opened.reader->state().videoPacing = 1;
    opened.qrv = true;
  } else {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), LoadString(kStrFileTypeNotCorrect));
    return opened;
  }
  PrepareRings(opened.reader->state(), false);
  if (withDecoder && !CreateMpeg4Decoder(opened.reader->state().decoder)) {
    std::fprintf(stderr, "%s: the picture decoder cannot be set up\n", path.c_str());
    opened.reader.reset();
    return opened;
  }
  if (!opened.reader->OpenFileToGetDecoder(path, &opened.streamFlag)) {
    const std::string reason = opened.sink->last.empty() ? "not a recording this player can read" : opened.sink->last;
    std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
    opened.reader.reset();
    return opened;
  }
  PlaybackState& st = opened.reader->state();
  st.defaultVideoPacing = st.videoPacing.load();
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
