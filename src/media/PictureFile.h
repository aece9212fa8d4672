// Picture files of decoded pictures (packed blue-green-red, bottom row
// first): PNG, BMP or JPEG by the extension of the path. A file is written
// complete or not at all, and never replaces an existing one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsv {

// JPEG quality of snapshots and picture files.
constexpr int kPictureJpegQuality = 90;

bool WritePictureFile(const std::string& path, const uint8_t* picture, uint16_t width, uint16_t height,
                      std::string* error);

// The encoded bytes alone; empty on failure or an unknown extension.
std::vector<uint8_t> EncodeBmp(const uint8_t* picture, uint16_t width, uint16_t height);
std::vector<uint8_t> EncodePng(const uint8_t* picture, uint16_t width, uint16_t height);

}  // namespace tsv
