// Export of a marked stretch of the open recording, through a second reader
// of its own on the same file, so the player goes on playing meanwhile.
// A reader thread fills the exporter's frame ring from the key picture at
// or before the first mark; a second thread then
//   - decodes the pictures for an uncompressed AVI file and hands them one
//     at a time to the front end, which sizes them, burns the date and time
//     in when its on-screen display is on and appends them (WritePicture);
//   - or writes the frames into a new recording of the source's layout;
//   - or copies the coded pictures and the sound into a standard MP4 file.
// The front end hears "picture ready" and "export ended" through its event
// sink and answers with WritePicture and Finish from one thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "engine/EngineSinks.h"
#include "engine/TextPainter.h"
#include "formats/CRecFile.h"
#include "platform/Event.h"

namespace tsv {

class AviWriter;

enum class ExportMode : uint32_t { Avi = 1, Recording = 2, Mp4 = 3 };

struct ExportRequest {
  ExportMode mode = ExportMode::Avi;
  uint32_t firstFrame = 0;  // the two marks: frame numbers, 1-based, inclusive
  uint32_t lastFrame = 0;
  // Where the new file goes (the recording's folder for AVI files, the
  // desktop for recordings and MP4 files, unless the user chose one).
  std::string folder;
};

// What the front end's display settings add to each exported picture.
struct ExportPictureSettings {
  bool osdOn = false;
  uint32_t textColour = 0xFFFFFF;  // red in the lowest byte
};

// Pictures the export decoder may be ahead of the front end.
constexpr int kExportHandOff = 2;
// Picture slots: the one being decoded and the ones handed off, plus one.
constexpr uint32_t kExportPictureSlots = kExportHandOff + 2;

class ClipExporter {
 public:
  ClipExporter(EventSink& events, MessageSink& messages);
  ~ClipExporter();
  ClipExporter(const ClipExporter&) = delete;
  ClipExporter& operator=(const ClipExporter&) = delete;

  // Gives the exporter its own reader on the recording at path. False (the
  // exporter stays unusable) for a file that is not a recording.
  bool OpenReader(const std::string& path);

  // Starts an export. Ignored (false) while one runs, without a reader, or
  // for marks outside the recording.
  bool Start(const ExportRequest& request);
  bool running() const { return running_; }

  // Front end, on "export picture ready": writes the picture handed over.
  void WritePicture(const ExportPictureSettings& settings, TextPainter* painter);
  // Front end, on "export ended": finishes the file. True when a complete
  // file was published at outputPath().
  bool Finish();
  // Stops a running export; no file is left behind.
  void Stop();

  const std::string& outputPath() const { return outputPath_; }
  // The frame the new file starts with: an MP4 copy starts on the key
  // picture at or before the first mark.
  uint32_t startFrame() const { return startFrame_; }
  // Frames of the stretch handled so far, and all of them.
  uint32_t framesDone() const { return framesDone_; }
  uint32_t framesTotal() const { return framesTotal_; }
  uint32_t picturesWritten() const { return picturesWritten_; }
  CRecFile* reader() { return reader_.get(); }

 private:
  struct Picture {
    PictureRecord record;
    uint16_t width = 0;  // as decoded
    uint16_t height = 0;
    std::unique_ptr<uint8_t[]> pixels;
  };

  void JoinThreads();
  void ReaderThread();
  void DecodeThread();
  void WriterThread();
  void Mp4Thread();
  // The next frame the reader thread filled, in `slot`; false at the end
  // of the stretch or on stop.
  bool NextFrame(uint32_t* slot);
  void FrameDone(uint32_t slot);
  void Ended();
  // Decodes the picture frame in `slot` into `out` (kPictureSlotBytes),
  // with its size and frame time; false when it cannot be decoded.
  bool DecodePicture(uint32_t slot, uint8_t* out, uint16_t* width, uint16_t* height, uint32_t* frameTime);
  void ReportFailure();

  EventSink& events_;
  MessageSink& messages_;
  std::unique_ptr<CRecFile> reader_;
  std::string path_;

  ExportRequest request_;
  SyncDomain sync_;
  std::unique_ptr<Semaphore> frameFree_, frameFilled_, handOff_;
  std::unique_ptr<Event> stop_;
  std::thread readerThread_, workThread_;
  std::atomic<bool> running_{false};
  bool threadsStarted_ = false;

  // Reader thread: frames read; set before each filled permit.
  std::atomic<uint32_t> framesRead_{0};
  std::atomic<bool> readEnded_{false};
  uint32_t framesTaken_ = 0;  // work thread

  Picture pictures_[kExportPictureSlots];
  uint32_t pictureWrite_ = 0;  // decode thread
  uint32_t ringIndex_ = 0;     // front end
  // Pictures handed to the front end, and those it has written: a late
  // "picture ready" after a stop finds nothing to write.
  std::atomic<uint32_t> picturesPosted_{0};
  uint32_t picturesHandled_ = 0;
  std::unique_ptr<uint8_t[]> exportPicture_;
  uint32_t fileStarted_ = 0;
  uint16_t exportWidth_ = 0, exportHeight_ = 0;
  std::unique_ptr<AviWriter> avi_;
  bool failureShown_ = false;

  std::atomic<bool> workSucceeded_{false};
  std::string outputPath_;
  std::atomic<uint32_t> startFrame_{0};
  std::atomic<uint32_t> framesDone_{0};
  std::atomic<uint32_t> framesTotal_{0};
  std::atomic<uint32_t> picturesWritten_{0};
};

}  // namespace tsv
