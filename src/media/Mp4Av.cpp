#include "media/Mp4Av.h"

#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace tsv::mp4 {

std::string AvErrorText(const char* what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return std::string(what) + ": " + text;
}

void QuietLibraryLog() {
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

bool DrainEncoder(AVCodecContext* codec, AVPacket* packet, const PacketOut& out, std::string* error) {
  for (;;) {
    const int rc = avcodec_receive_packet(codec, packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return Fail(error, AvErrorText("encoding failed", rc));
    const bool taken = out(packet);
    av_packet_unref(packet);
    if (!taken) return false;
  }
}

bool Fail(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
  return false;
}

}  // namespace tsv::mp4
