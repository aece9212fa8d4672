// Pushes one whole file through a reader: open, read every frame the way
// the engine does, query each frame, then walk the index backwards.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/CRecFile.h"
#include "formats/MessageSink.h"

namespace tsv::fuzz {

inline std::string WriteInput(const uint8_t* data, size_t size, const char* ext) {
  const std::string path = "/tmp/tessarovine-fuzz-" + std::to_string(::getpid()) + ext;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

template <typename Reader>
void ExerciseReader(const uint8_t* data, size_t size, const char* ext) {
  const std::string path = WriteInput(data, size, ext);
  NullMessageSink sink;
  Reader reader(sink);
  PrepareRings(reader.state(), false);
  uint32_t flag = 0;
  if (reader.OpenFileToGetDecoder(path, &flag)) {
    PlaybackState& st = reader.state();
    reader.SeekFilePointToBeginFrame();
    st.qrvFirstFrame = 1;
    for (uint32_t k = 0; k < st.indexCount && k < 2000; ++k) {
      const uint32_t slot = k % kRingSlots;
      if (!reader.ReadCurrentFrameInfo(slot, k ? st.fileMagic : 0)) break;
      st.readSlotIndex = slot;
      const uint8_t* payload = reader.FrameSlot(slot);
      const uint32_t length = reader.GetCurrentFrameSize(slot);
      uint32_t pts = 0, w = 0, h = 0, r = 0, t = 0;
      reader.ParseMp4FramePes(payload, length, &pts, &w, &h, &r, &t);
      reader.ParseFramePes(payload, length, &pts, &w, &h, &r, &t);
      reader.GetMp4FrameKind(payload);
      reader.GetJpegFrameKind(payload);
      SYSTEMTIME when;
      reader.GetCurrentFrameTimestamp(slot, &when, true);
      reader.GetCurrentFrameResolution(slot, 0, 0, true);
      if (reader.GetCurrentFrameIndex(slot) >= st.indexCount) break;
    }
    const uint32_t n = st.indexCount;
    for (uint32_t mode = 0; mode < 2; ++mode) {
      st.predictedStreamMode = mode;
      st.reverse = 1;
      reader.FindNextIndexRange(static_cast<int>(n ? n - 1 : 0));
      for (int step = 0; step < 64 && reader.MP4SetTargetFilePointer(); ++step) {
        if (!reader.ReadCurrentFrameInfo(0, 0)) break;
        reader.MP4CheckFrameShow(reader.GetCurrentFrameIndex(0));
      }
      reader.FindNextIndexRange(static_cast<int>(n ? n - 1 : 0));
      for (int step = 0; step < 64 && reader.JpegSetTargetFilePointer(); ++step) reader.ReadCurrentFrameInfo(0, 0);
    }
    reader.SetFilePointerToPreIFrame(Percent{100});
    reader.SetFilePointerToPreIFrame(static_cast<int>(n));
    reader.SearchIFrameExist(0);
    uint32_t index = n;
    reader.GetNonAudioFrameIndex(&index);
  }
  ::unlink(path.c_str());
}

}  // namespace tsv::fuzz
