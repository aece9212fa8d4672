// Writes a synthesized recording frame by frame: the file header first
// (every field of it is known before the first frame), then each frame's
// header and payload, and at the end the frame index and its count. One
// implementation per layout.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/QrvLayout.h"
#include "formats/StreamPacket.h"
#include "formats/VsxLayout.h"
#include "platform/SystemTime.h"
#include "platform/OutputFile.h"

namespace tsv {

struct SynthFrame {
  bool sound = false;
  bool key = false;             // a picture that decoding can start at
  uint32_t timeMs = 0;          // frame time
  uint32_t intervalMs = 0;      // since the previous frame of the same stream
  SYSTEMTIME timestamp;         // local time of the frame
  ImaAdpcmState adpcm;          // sound: decoder state at the frame's start
  const std::vector<uint8_t>* payload = nullptr;
};

class RecordingWriter {
 public:
  virtual ~RecordingWriter() = default;
  virtual bool Begin(std::string* error) = 0;
  virtual bool Add(const SynthFrame& frame, std::string* error) = 0;
  // Writes the index; false when the frame count differs from the header's.
  virtual bool Finish(std::string* error) = 0;
};

// ".vs4": alternateKeyType marks every second key picture with index type 3.
std::unique_ptr<RecordingWriter> MakeVsxRecordingWriter(OutputFile& out, const VsxFileHeader& header,
                                                        uint8_t channel, bool alternateKeyType);

struct QrvWriterSettings {
  uint16_t width = 0;  // picture size written into picture frame headers
  uint16_t height = 0;
  uint8_t channel = 0;
  bool zeroKeyType = false;  // key pictures indexed as 0 instead of 0x1001
  bool extraBytes = false;   // frame headers carry the two extra bytes
};

std::unique_ptr<RecordingWriter> MakeQrvRecordingWriter(OutputFile& out, const QrvFileHeader& header,
                                                        const QrvWriterSettings& settings);

// Raw recorder streams: the packets themselves, every 16-bit word stored
// byte-reversed, and packets kept on whole words (an odd packet gets a zero
// byte, counted in its length). A ".mp4" stream file starts with its head;
// a disc image has a signature sector, the stream in runs of sectors with
// one unlisted sector between runs, and the directory in its last sector.
enum class StreamForm { Mp4, Qrv, Disc };

struct StreamWriterSettings {
  StreamForm form = StreamForm::Mp4;
  StreamHead head;               // ".mp4" only
  uint32_t discRunSectors = 64;  // disc: sectors per run (the last run may be shorter)
};

std::unique_ptr<RecordingWriter> MakeStreamRecordingWriter(OutputFile& out, const StreamWriterSettings& settings);

}  // namespace tsv
