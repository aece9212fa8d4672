// tessarovine-cli frames FILE [--json]: every frame header, read in file
// order the way the engine reads them.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Recording.h"

namespace tsv::cli {

namespace {

const char* KindName(uint8_t kind) {
  switch (kind) {
    case kFramePicture: return "picture";
    case kFrameSound: return "audio";
    default: return "other";
  }
}

}  // namespace

int RunFrames(const Args& args) {
  std::string path;
  bool json = false;
  if (!ParseFileAndJson(args, &path, &json)) {
    std::fprintf(stderr, "usage: tessarovine-cli frames FILE [--json]\n");
    return 2;
  }
  OpenedRecording rec = OpenRecording(path);
  if (!rec.reader) return 1;
  CRecFile& r = *rec.reader;
  PlaybackState& st = r.state();
  const bool mpeg4 = (st.decoder.kind & 0xFF) == kDecoderMpeg4;
  const auto& index = r.frameIndex();

  if (json) std::printf("[");
  else std::printf("%6s %10s %6s %6s %-7s %10s %9s %6s  %-23s %4s %3s %s\n", "number", "offset", "type", "size",
                   "kind", "pts", "time_ms", "intvl", "timestamp", "res", "ch", "ptype");
  r.SeekFilePointToBeginFrame();
  uint32_t k = 0;
  // The engine stops at the frame whose number reaches the index count; a
  // damaged file stops at its index count or its first unreadable frame.
  for (; k < st.indexCount && ReadNextFrame(r, k); ++k) {
    const uint32_t slot = k % kRingSlots;
    const uint8_t* payload = r.FrameSlot(slot);
    const uint32_t size = r.GetCurrentFrameSize(slot);
    // The parse writes the stamp only when it found one; a stamp of all
    // ones cannot occur (its marker bits are dropped).
    constexpr uint32_t kNoStamp = 0xFFFFFFFF;
    uint32_t pts = kNoStamp, width = 0, height = 0, reserved = 0, pictureType = 0;
    if (mpeg4) r.ParseMp4FramePes(payload, size, &pts, &width, &height, &reserved, &pictureType);
    else r.ParseFramePes(payload, size, &pts, &width, &height, &reserved, &pictureType);
    const bool hasPts = pts != kNoStamp;
    if (!hasPts) pts = 0;
    const uint8_t kind = FrameKindOf(r, slot);
    SYSTEMTIME when;
    r.GetCurrentFrameTimestamp(slot, &when, true);
    const uint32_t number = r.GetCurrentFrameIndex(slot);
    const uint32_t timeMs = r.GetCurrentFrameTimestamp(slot, pts);
    const uint32_t interval = r.GetCurrentFrameTimerInterval(slot);
    const uint8_t code = r.GetCurrentFrameResolution(slot, 0, 0, true);
    const uint8_t channel = r.GetCurrentFrameChannel(slot);
    if (json) {
      JsonObject o;
      o.Add("number", uint64_t{number});
      if (k < index.size()) o.Add("offset", uint64_t{index[k].offset}).Add("index_type", uint64_t{index[k].type});
      else o.AddNull("offset").AddNull("index_type");
      o.Add("size", uint64_t{size}).Add("kind", KindName(kind));
      if (hasPts) o.Add("pts", uint64_t{pts});
      else o.AddNull("pts");
      o.Add("time_ms", uint64_t{timeMs})
          .Add("interval", uint64_t{interval})
          .Add("timestamp", FormatSystemTime(when, true))
          .Add("resolution_code", uint64_t{code})
          .Add("channel", uint64_t{channel})
          .Add("picture_type", uint64_t{pictureType});
      std::printf("%s%s", k ? ",\n " : "", o.str().c_str());
    } else {
      std::printf("%6u %10u %6u %6u %-7s %10s %9u %6u  %-23s %4u %3u %u\n", number,
                  k < index.size() ? index[k].offset : 0, k < index.size() ? index[k].type : 0, size,
                  KindName(kind), hasPts ? std::to_string(pts).c_str() : "-", timeMs, interval,
                  FormatSystemTime(when, true).c_str(), code, channel, pictureType);
    }
    if (number >= st.indexCount) {
      ++k;
      break;
    }
  }
  if (json) std::printf("]\n");
  if (k < st.indexCount) std::fprintf(stderr, "%s: %u of %u frames readable\n", path.c_str(), k, st.indexCount);
  return 0;
}

}  // namespace tsv::cli
