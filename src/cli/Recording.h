// Opening a recording for the command-line tool: the reader chosen by the
// extension, the frame buffers, and a sink that prints messages on stderr.
#pragma once

#include <memory>
#include <string>

#include "cli/Commands.h"
#include "formats/CRecFile.h"

namespace tsv::cli {

// Keeps the last message a reader showed, so a failure prints one line.
class CapturingSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override { last = text; }
  void Log(std::string_view) override {}
  std::string last;
};

struct OpenedRecording {
  std::unique_ptr<CapturingSink> sink = std::make_unique<CapturingSink>();
  std::unique_ptr<CRecFile> reader;
  uint32_t streamFlag = 0;
  bool qrv = false;
};

// Opens path (".vs4" or ".vse", any case). On failure prints one line on
// stderr ("<path>: <reason>") and returns no reader.
// withDecoder also creates the MPEG-4 decoder instance before the open, so
// the open step configures it, as the player's per-file set-up does.
OpenedRecording OpenRecording(const std::string& path, bool withDecoder = false);

// Reads frame k of a sequential pass into slot k mod 50, the way the
// engine's reader does (no tag test for the first frame, the stream magic
// after it). Call after SeekFilePointToBeginFrame.
bool ReadNextFrame(CRecFile& reader, uint32_t k);

// The frame-kind test of the stream's decoder variant on the frame in a
// slot (picture, sound or other), as the engine's decode thread applies it.
uint8_t FrameKindOf(CRecFile& reader, uint32_t slot);

// "FILE [--json]": false on anything else.
bool ParseFileAndJson(const Args& args, std::string* path, bool* json);

}  // namespace tsv::cli
