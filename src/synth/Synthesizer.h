// The recording synthesizer: makes ".vs4" (Vsx layout) and ".vse" (QRV
// layout) recordings with a moving test picture (MPEG-4 or JPEG) and IMA
// ADPCM sound, and the raw forms recorders hand out: ".mp4" stream files,
// ".QRV" streams and recorder disc images (MPEG-4 pictures only), for tests,
// demos and anyone who needs a recording of a given kind. The output
// appears complete or not at all, and an existing file is never replaced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/Resolution.h"
#include "platform/SystemTime.h"
#include "synth/TestPicture.h"

namespace tsv {

// Mp4Stream: a ".mp4" stream file (head, then packets; predicted pictures
// refer to their key picture). QrvStream: a ".QRV" stream (packets with
// the local time packed in; one chain of pictures). Disc: a recorder disc
// image holding a ".QRV" stream.
enum class SynthLayout { Vsx, Qrv, Mp4Stream, QrvStream, Disc };
enum class SynthCodec { Mpeg4, Jpeg };

struct SynthOptions {
  SynthLayout layout = SynthLayout::Vsx;

  // ".vs4" only: the picture codec, the reference rule of MPEG-4 pictures
  // (0: ordinary chain, and the file is marked as converted from a ".QRV"
  // stream; 1: predicted pictures refer to their key picture) and whether
  // the file holds sound only.
  SynthCodec codec = SynthCodec::Mpeg4;
  int predictedMode = 1;
  bool soundOnly = false;

  // ".vse" only: the stream type 0..6 decides codec, reference rule and
  // sound-only (0, 3 JPEG; 1, 4 MPEG-4 chain; 2, 5 MPEG-4 key-referenced;
  // 6 sound only).
  uint8_t streamType = 2;

  uint32_t frames = 100;      // pictures; for sound only, the duration in pictures
  uint32_t rate = 25;         // pictures per second, 1..100
  uint32_t keyInterval = 25;  // MPEG-4: pictures from one key picture to the next
  uint8_t resolutionCode = 0;
  bool sound = false;         // interleave sound frames with the pictures
  uint32_t soundStartMs = 0;  // the sound begins this long after the first picture

  SYSTEMTIME start = {2026, 1, 4, 1, 0, 0, 0, 0};  // local time of the first frame
  uint32_t firstFrameTimeMs = 0;  // frame time of the first frame (PTS / 90)
  uint32_t ipAddress = 0x4001A8C0;  // 192.168.1.64, lowest byte first
  uint8_t recordStyle = 1;
  uint8_t channel = 0;             // 0..15

  int jpegQuality = 80;   // 1..100
  int quantiser = 4;      // MPEG-4, 2..31
  bool bareJpeg = false;  // ".vse" JPEG streams: JPEG data without the packet head
  bool longHead = false;  // picture data at byte 104 of the packet
  bool withDts = false;   // picture packets carry a decoding time stamp too
  // ".vs4": every second key picture has index type 3 instead of 1.
  // ".vse": key pictures have index type 0 instead of 0x1001.
  bool alternateKeyType = false;
  bool qrvExtraBytes = false;  // ".vse": frame headers carry the two extra bytes
  uint32_t discRunSectors = 64;  // disc images: sectors per run of the stream
};

// One frame of a synthesized recording, in file order.
struct SynthPlanEntry {
  bool sound = false;
  uint32_t index = 0;   // picture k or sound frame j
  uint32_t timeMs = 0;  // frame time
};

// The frames in file order: by frame time, a sound frame before a picture
// of the same time.
std::vector<SynthPlanEntry> SynthFramePlan(const SynthOptions& options);

// Whether the layout is one of the raw stream forms.
bool SynthIsStream(const SynthOptions& options);

// Empty when the options make a recording; else the reason they do not.
std::string CheckSynthOptions(const SynthOptions& options);

// The coded picture size (a field picture for the field codes), or none
// when the options make no pictures or the code has no size in the layout.
std::optional<PictureSize> SynthPictureSize(const SynthOptions& options);

// Whether pictures are MPEG-4 and which reference rule they follow, after
// the stream type or codec options are taken into account.
bool SynthUsesMpeg4(const SynthOptions& options);
int SynthPredictedMode(const SynthOptions& options);
bool SynthHasPictures(const SynthOptions& options);
bool SynthHasSound(const SynthOptions& options);

// Frame time in milliseconds of picture k (0-based).
uint32_t SynthPictureTimeMs(const SynthOptions& options, uint32_t k);

// The local time stamped on a frame at the given frame time.
SYSTEMTIME SynthFrameTimestamp(const SynthOptions& options, uint32_t frameTimeMs);

// Picture k exactly as it went into the encoder.
void SynthPicture(const SynthOptions& options, uint32_t k, YuvPicture* out);

// Writes the recording to path. False with a one-line reason on error; the
// path is then left as it was.
bool Synthesize(const SynthOptions& options, const std::string& path, std::string* error);

}  // namespace tsv
