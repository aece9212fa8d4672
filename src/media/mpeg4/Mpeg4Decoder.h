// The decoder proper behind the entry point: libavcodec's MPEG-4 Part 2
// decoder, held in the caller's decoder-context work area, with the
// reference rule of the predicted-stream mode and output conversion 1.
#pragma once

#include <cstdint>

#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv::mpeg4 {

uint32_t Initialise(Mpeg4DecoderParams* params, uint16_t width, uint16_t height, uint32_t predictedStreamMode);
uint32_t SelectOutput(Mpeg4DecoderParams* params);
uint32_t Decode(const Mpeg4DecodeInput* input, Mpeg4DecoderParams* params);

}  // namespace tsv::mpeg4

namespace tsv::mpeg4 {
// Frees the libavcodec objects held in the context area and ends the
// decoder's conversion helper thread (the entry point has no close call;
// the owner of the work areas calls this before it zeroes or frees them).
void Release(Mpeg4DecoderParams* params);
}  // namespace tsv::mpeg4
