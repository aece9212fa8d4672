// The picture of one frame exactly as the player shows it: decoded from
// the key picture before it, field pictures line-doubled.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/CRecFile.h"

namespace tsv::cli {

struct FramePicture {
  std::unique_ptr<uint8_t[]> pixels;  // blue-green-red, bottom row first
  uint16_t width = 0;
  uint16_t height = 0;
};

// Decodes frame `number` (1-based) of an open reader whose decoder was
// created before the open. False with a reason in *error.
bool DecodeFramePicture(CRecFile& reader, uint32_t number, FramePicture* out, std::string* error);

// Parses "--frame N" style numbers.
bool ParseNumber(const std::string& text, uint32_t* out);

}  // namespace tsv::cli
