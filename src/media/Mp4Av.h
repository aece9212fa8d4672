// Small pieces shared by the parts of the MP4 clip writer that drive
// libavcodec: readable error texts, a quiet library log and draining an
// encoder's packets into the muxer.
#pragma once

#include <functional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tsv::mp4 {

// Takes one packet an encoder made (the callee may keep a reference); false
// stops the drain as a failure.
using PacketOut = std::function<bool(AVPacket*)>;

// "what: library reason".
std::string AvErrorText(const char* what, int code);

// Keeps libavcodec and libavformat from writing to the terminal.
void QuietLibraryLog();

// Receives every packet the encoder has ready, hands each to `out` and
// unreferences it. True when the encoder wants more input or is drained.
bool DrainEncoder(AVCodecContext* codec, AVPacket* packet, const PacketOut& out, std::string* error);

// Sets *error (when given) and returns false.
bool Fail(std::string* error, const std::string& text);

}  // namespace tsv::mp4
