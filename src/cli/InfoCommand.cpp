// tessarovine-cli info FILE [--json]: everything the header and index say.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Recording.h"
#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "formats/Resolution.h"

namespace tsv::cli {

int RunInfo(const Args& args) {
  std::string path;
  bool json = false;
  if (!ParseFileAndJson(args, &path, &json)) {
    std::fprintf(stderr, "usage: tessarovine-cli info FILE [--json]\n");
    return 2;
  }
  OpenedRecording rec = OpenRecording(path);
  if (!rec.reader) return 1;
  CRecFile& r = *rec.reader;
  PlaybackState& st = r.state();

  SYSTEMTIME start;
  r.GetFileTimestamp(&start);
  std::string style;
  r.GetRecordStyleText(&style);
  const uint8_t code = r.GetFileResolution();
  const char* label = ResolutionLabel(code);
  uint32_t headerFrames = 0;
  if (auto* vsx = dynamic_cast<CVsxFile*>(&r)) headerFrames = vsx->header().frameCount;
  else if (auto* qrv = dynamic_cast<CZKQRV*>(&r)) headerFrames = qrv->header().frameCount;
  char magic[16];
  std::snprintf(magic, sizeof magic, "0x%08X", st.fileMagic);
  const bool mpeg4 = (st.decoder.kind & 0xFF) == kDecoderMpeg4;

  if (json) {
    JsonObject o;
    o.Add("layout", rec.qrv ? "qrv" : "vsx")
        .Add("frame_count", uint64_t{headerFrames})
        .Add("index_count", uint64_t{st.indexCount})
        .Add("duration_s", uint64_t{st.durationSeconds})
        .Add("duration_text", st.durationText)
        .Add("ip", st.ipText)
        .Add("resolution_code", uint64_t{code})
        .Add("resolution", label ? label : "")
        .Add("record_style", style)
        .Add("magic", magic)
        .Add("decoder", mpeg4 ? "mpeg4" : "jpeg")
        .Add("audio_only", st.audioOnly != 0)
        .Add("predicted_stream_mode", uint64_t{st.predictedStreamMode})
        .Add("video_pacing", uint64_t{st.videoPacing})
        .Add("stream_flag", uint64_t{rec.streamFlag})
        .Add("file_timestamp", FormatSystemTime(start, true));
    std::printf("%s\n", o.str().c_str());
    return 0;
  }
  std::printf("File:                  %s\n", path.c_str());
  std::printf("Layout:                %s\n", rec.qrv ? "QRV (.vse)" : "Vsx (.vs4)");
  std::printf("Start:                 %s\n", FormatSystemTime(start, true).c_str());
  std::printf("%s\n", st.durationText.c_str());
  std::printf("Frames (header/index): %u / %u\n", headerFrames, st.indexCount);
  std::printf("Resolution:            %u (%s)\n", code, label ? label : "unknown");
  std::printf("Recorder address:      %s\n", st.ipText.c_str());
  std::printf("Record style:          %s\n", style.empty() ? "unknown" : style.c_str());
  std::printf("Pictures:              %s%s, magic %s\n", mpeg4 ? "MPEG-4" : "JPEG",
              st.audioOnly ? " (none: sound only)" : "", magic);
  std::printf("Predicted-stream mode: %u\n", st.predictedStreamMode.load());
  std::printf("Video pacing:          %s\n", st.videoPacing ? "own intervals" : "sound clock");
  return 0;
}

}  // namespace tsv::cli
