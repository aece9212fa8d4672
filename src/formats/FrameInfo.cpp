#include "formats/FrameInfo.h"

#include "platform/ByteIO.h"

namespace tsv {

FrameInfo ParseFrameInfo(const uint8_t* b) {
  FrameInfo f;
  f.frameNumber = GetU32LE(b);
  f.payloadSize = GetU32LE(b + 4);
  f.timerInterval = GetU32LE(b + 8);
  f.formatTag = GetU32LE(b + 12);
  f.resolutionCode = b[16];
  f.reserved1 = b[17];
  f.channel = b[18];
  f.reserved2 = b[19];
  f.reserve = GetU32LE(b + 20);
  f.timestamp = ReadSystemTime(b + 24);
  f.adpcm.stepIndex = GetU32LE(b + 40);
  f.adpcm.predictor = GetU32LE(b + 44);
  return f;
}

void SerializeFrameInfo(const FrameInfo& f, uint8_t* b) {
  PutU32LE(b, f.frameNumber);
  PutU32LE(b + 4, f.payloadSize);
  PutU32LE(b + 8, f.timerInterval);
  PutU32LE(b + 12, f.formatTag);
  b[16] = f.resolutionCode;
  b[17] = f.reserved1;
  b[18] = f.channel;
  b[19] = f.reserved2;
  PutU32LE(b + 20, f.reserve);
  WriteSystemTime(b + 24, f.timestamp);
  PutU32LE(b + 40, f.adpcm.stepIndex);
  PutU32LE(b + 44, f.adpcm.predictor);
}

}  // namespace tsv
