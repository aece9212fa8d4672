#include "formats/StartTimeQuery.h"

#include "formats/FrameInfo.h"
#include "formats/QrvLayout.h"
#include "formats/VsxLayout.h"
#include "platform/ByteIO.h"
#include "platform/File.h"

namespace tsv {

namespace {

bool VsxStartTime(File& file, SYSTEMTIME* out) {
  uint8_t header[kVsxHeaderSize];
  uint8_t frame[kFrameInfoSize];
  if (!file.ReadExact(header, sizeof header) || !file.ReadExact(frame, sizeof frame)) return false;
  const uint32_t magic = ParseVsxFileHeader(header).magic;
  const FrameInfo info = ParseFrameInfo(frame);
  if (magic != 0 && info.formatTag != magic) return false;
  *out = info.timestamp;
  return true;
}

bool QrvStartTime(File& file, SYSTEMTIME* out) {
  uint8_t header[kQrvHeaderSize];
  uint8_t terminator[2];
  if (!file.ReadExact(header, sizeof header) || !file.ReadExact(terminator, 2) ||
      GetU16LE(terminator) != kQrvTerminator)
    return false;
  uint8_t bytes[kQrvFrameHeaderReadSize];
  const long long got = file.Read(bytes, sizeof bytes);
  if (got <= 0) return false;
  QrvFrameHeader frame;
  if (ParseQrvFrameHeader(bytes, static_cast<std::size_t>(got), &frame) == 0) return false;
  const QrvFileHeader h = ParseQrvFileHeader(header);
  *out = h.startTimestamp;
  if (frame.flags & kQrvHasFrameTime)
    *out = AddSecondsLocal(h.startTimestamp, QrvElapsedMs(frame.frameTime, h.startTime) / 1000);
  return true;
}

}  // namespace

bool GetRecordingStartTime(const std::string& path, SYSTEMTIME* out) {
  const std::string ext = UpperExtension4(path);
  if (ext != ".VS4" && ext != ".VSE") return false;
  File file;
  if (!file.OpenExisting(path, false)) return false;
  return ext == ".VS4" ? VsxStartTime(file, out) : QrvStartTime(file, out);
}

}  // namespace tsv
