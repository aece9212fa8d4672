// Converts a raw recorder stream (".mp4" stream file or ".QRV" stream) into
// a ".vs4" recording that CVsxFile plays.
//
// The stream is a run of byte-swapped packets. The conversion finds the
// first packet that starts a picture with stream headers (the video object
// start code at its payload), then turns every packet from there on into
// one frame: a 48-byte FrameInfo, the packet as payload, and an index entry.
// Frame times are the packed time of each ".QRV" packet, or the ".mp4"
// head's start time plus the sum of the frame intervals.
//
// The source is read in large blocks. What the conversion makes depends
// only on the source bytes, never on the block size, so any block size gives
// the same recording.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "formats/StreamPacket.h"
#include "platform/File.h"

namespace tsv {

enum class StreamKind { Mp4, Qrv };

// ".MP4" or ".QRV" in any case; none for anything else.
std::optional<StreamKind> StreamKindOfPath(const std::string& path);

// The playback flags the player sets for a recording converted from a
// stream of this kind: ".mp4" streams have key-referenced predicted
// pictures and follow the sound clock; ".QRV" streams are one chain of
// pictures paced by their own intervals.
struct ConvertedPlayback {
  uint32_t predictedStreamMode = 1;
  uint32_t videoPacing = 0;
};
ConvertedPlayback PlaybackForConverted(StreamKind kind);

// Percent done, 0..100; 100 only when the task has finished successfully.
using ProgressFn = std::function<void(int percent)>;

// The largest packet the player's frame slots hold; longer packets are
// skipped.
constexpr std::size_t kMaxStreamPacket = 102400;
// Default size of one read from the source.
constexpr std::size_t kConvertReadBlock = 4u << 20;

enum class ConvertStatus {
  Done,
  Stopped,       // the stop flag ended it; nothing was left behind
  NotAStream,    // the ".mp4" head was refused
  OpenFailed,    // the source cannot be opened
  NoPictures,    // no picture with stream headers: nothing to convert
  ReadFailed,    // the source could not be read; nothing was left behind
  WriteFailed,   // the output could not be created or written
};

struct ConvertReport {
  ConvertStatus status = ConvertStatus::Done;
  std::string outputPath;  // the published ".vs4" file when Done
  std::string error;       // one line when not Done
  uint32_t frames = 0;
  uint32_t oversizedPackets = 0;  // longer than kMaxStreamPacket, skipped
  uint64_t skippedBytes = 0;      // bytes between converted packets that were no packet
  bool truncatedLastPacket = false;  // the source ends inside a packet; the file ends before it
  bool sizeLimitReached = false;     // the ".vs4" index offsets are 32-bit; the rest was not converted
};

// The reading side of a conversion: the source bytes by position.
class StreamInput {
 public:
  virtual ~StreamInput() = default;
  // Bytes read at pos (fewer only at the end), or -1 on a read error.
  virtual long long ReadAt(uint64_t pos, uint8_t* out, std::size_t size) = 0;
  virtual uint64_t Size() const = 0;
};

// The writing side: where the ".vs4" bytes go.
class VsxOutput {
 public:
  virtual ~VsxOutput() = default;
  // Called once before the first byte with the first frame's time (it
  // names a recording converted from a ".QRV" stream).
  virtual bool Begin(const SYSTEMTIME& firstFrameTime, std::string* error) = 0;
  virtual bool Write(const uint8_t* data, std::size_t size) = 0;
  virtual bool WriteHeaderAgain(const uint8_t* header, std::size_t size) = 0;
  // The recording is complete; publish it.
  virtual bool Finish(std::string* error) = 0;
};

struct ConvertSettings {
  StreamKind kind = StreamKind::Mp4;
  // ".mp4": the head read by OpenStreamSource. ".QRV" streams have none.
  StreamHead head;
  std::size_t readBlock = kConvertReadBlock;
};

// Converts the packets of `input` into `output`. Checks `stop` between
// packets; a stopped or failed conversion never calls output.Finish.
ConvertReport ConvertStream(StreamInput& input, const ConvertSettings& settings, VsxOutput& output,
                            const std::atomic<bool>& stop, const ProgressFn& progress);

// Opens a stream source for reading. A ".mp4" source must start with a
// head of version 1; its head is returned. Status OpenFailed or NotAStream
// on refusal.
ConvertStatus OpenStreamSource(const std::string& path, StreamKind kind, File* file, StreamHead* head);

// Converts a stream file into a new ".vs4" file in outputFolder (empty:
// beside the source): for a ".mp4" source the source's name with ".vs4",
// for a ".QRV" source "YYYYMMDD_hhmmss.vs4" after the first frame's time.
// An existing file is never replaced: the name then gets "_2", "_3", ...
// The file appears only when complete.
ConvertReport ConvertStreamFile(const std::string& sourcePath, StreamKind kind, const std::string& outputFolder,
                                const std::atomic<bool>& stop, const ProgressFn& progress,
                                std::size_t readBlock = kConvertReadBlock);

// The same for a source already opened by OpenStreamSource.
ConvertReport ConvertOpenedStream(File& source, const std::string& sourcePath, const ConvertSettings& settings,
                                  const std::string& outputFolder, const std::atomic<bool>& stop,
                                  const ProgressFn& progress);

}  // namespace tsv
