// MPEG-4 Visual pictures as the recorders write them, made with libavcodec's
// mpeg4 encoder: rectangular shape, H.263 quantisation at a fixed
// quantiser, I and P pictures only, headers in the stream. Every key
// picture's data begins with the video object start code 00 00 01 00 and
// carries the video object layer header, so decoding can start there.
//
// Two reference rules:
// - mode 0, the ordinary chain: each picture refers to the one before it;
// - mode 1: every predicted picture refers to the key picture before it and
//   is never itself a reference, so any predicted picture decodes from its
//   key picture alone. Each predicted picture is encoded as a pair with its
//   key picture on fresh encoder state; with the fixed quantiser and a
//   deterministic encoder the key picture reconstructs identically in every
//   pair, so all predicted pictures of a range share one reference.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synth/TestPicture.h"

namespace tsv {

struct Mpeg4EncoderSettings {
  int width = 352;
  int height = 240;
  int rate = 25;          // pictures per second (the stream's time base)
  int keyInterval = 25;   // pictures from one key picture to the next
  int quantiser = 4;      // 2..31
  int predictedMode = 1;  // 0 chain, 1 predicted pictures refer to the key picture
};

class Mpeg4StreamEncoder {
 public:
  Mpeg4StreamEncoder();
  ~Mpeg4StreamEncoder();
  Mpeg4StreamEncoder(const Mpeg4StreamEncoder&) = delete;
  Mpeg4StreamEncoder& operator=(const Mpeg4StreamEncoder&) = delete;

  bool Open(const Mpeg4EncoderSettings& settings, std::string* error);

  // Encodes the next picture of the stream, in order. pictureIndex is its
  // 0-based position (its time stamp in the stream's time base); key says
  // whether it is a key picture. The first picture must be a key picture.
  // On success `data` holds the picture's elementary-stream bytes.
  bool Encode(const YuvPicture& picture, uint32_t pictureIndex, bool key, std::vector<uint8_t>* data,
              std::string* error);

 private:
  class Context;

  std::unique_ptr<Context> NewContext(std::string* error) const;
  bool FinishKeyData(std::vector<uint8_t>* data, std::string* error);

  Mpeg4EncoderSettings settings_;
  bool open_ = false;
  // Mode 0: the one encoder of the chain. Mode 1: an encoder that has just
  // encoded the current key picture and nothing else (reused for the first
  // predicted picture after it), or none.
  std::unique_ptr<Context> context_;
  // Mode 1: the current key picture and its index.
  YuvPicture keyPicture_;
  uint32_t keyIndex_ = 0;
  bool haveKey_ = false;
  // The video object and video object layer headers of the first key
  // picture, put before a key picture that comes without them.
  std::vector<uint8_t> streamHeaders_;
};

// The coding type of the first video object plane in data: 0 I, 1 P, 2 B,
// 3 S; -1 when there is none.
int Mpeg4PictureCodingType(const uint8_t* data, std::size_t length);

}  // namespace tsv
