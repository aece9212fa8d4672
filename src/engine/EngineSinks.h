// How the engine reaches its front end: a picture sink that draws, and an
// event sink for what the threads tell the window. The Qt window queues
// both to its own thread; the command-line tool handles them directly.
// Both are called from engine threads.
#pragma once

#include <array>
#include <cstdint>

#include "formats/PlaybackState.h"

namespace tsv {

class ClipExporter;

struct DrawRequest {
  const uint8_t* picture = nullptr;  // blue-green-red, bottom row first
  uint16_t width = 0;                // of the picture as decoded
  uint16_t height = 0;
  uint32_t layoutIndex = 0;          // resolution code the window lays out for
  uint16_t percent = 0;
  std::array<uint32_t, 3> colours{};
  PictureRecord record;              // frame number, times, timestamp
};

class PictureSink {
 public:
  virtual ~PictureSink() = default;
  virtual void DrawPicture(const DrawRequest& request) = 0;
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  // The file cannot be played (wrong magic or no frames): close it.
  virtual void CloseRequested() = 0;
  // The slider's position in percent (sent under the slider lock).
  virtual void ProgressPercent(uint16_t percent) = 0;
  // The picture to show has another size: redo the layout.
  virtual void PictureSizeChanged() = 0;
  // The end mark of a marked stretch was shown.
  virtual void StretchEnded() = 0;
  // An export has a picture ready for the front end to write
  // (ClipExporter::WritePicture), or has ended (ClipExporter::Finish).
  // Front ends that never export need not answer.
  virtual void ExportPictureReady(ClipExporter&) {}
  virtual void ExportEnded(ClipExporter&) {}
};

}  // namespace tsv
