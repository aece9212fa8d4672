#include "formats/Resolution.h"

namespace tsv {

namespace {

struct ResolutionRow {
  const char* label;
  PictureSize decode;  // {0, 0}: no ".vs4" decode size
  PictureSize display;
};

constexpr ResolutionRow kRows[kResolutionCodeCount] = {
    {"352 x 240", {352, 240}, {352, 240}}, {"704 x 480", {704, 480}, {704, 480}},
    {"352 x 288", {352, 288}, {352, 288}}, {"704 x 576", {704, 576}, {704, 576}},
    {"176 x 112", {176, 112}, {176, 112}}, {"176 x 144", {176, 144}, {176, 144}},
    {"640 x 456", {0, 0}, {640, 456}},     {"320 x 228", {0, 0}, {320, 228}},
    {"640 x 552", {0, 0}, {640, 552}},     {"320 x 276", {0, 0}, {320, 276}},
    {"720 x 480", {720, 480}, {720, 480}}, {"720 x 240", {720, 240}, {720, 480}},
    {"720 x 576", {720, 576}, {720, 576}}, {"720 x 288", {720, 288}, {720, 576}},
};

}  // namespace

const char* ResolutionLabel(uint8_t code) { return code < kResolutionCodeCount ? kRows[code].label : nullptr; }

std::optional<PictureSize> VsxDecodeSize(uint8_t code) {
  if (code >= kResolutionCodeCount || kRows[code].decode.width == 0) return std::nullopt;
  return kRows[code].decode;
}

std::optional<PictureSize> DisplaySize(uint8_t code) {
  if (code >= kResolutionCodeCount) return std::nullopt;
  return kRows[code].display;
}

std::optional<uint8_t> QrvCodeForSize(uint16_t w, uint16_t h, bool fullFieldSizes) {
  if (w == 640 && h == 228) return 6;
  if (w == 640 && h == 276) return 8;
  if (fullFieldSizes && w == 640 && h == 456) return 6;
  if (fullFieldSizes && w == 640 && h == 552) return 8;
  if (w == 320 && h == 228) return 7;
  if (w == 320 && h == 276) return 9;
  if (w == 352 && h == 240) return 0;
  if (w == 352 && h == 288) return 2;
  if (w == 704 && h == 480) return 1;
  if (w == 704 && h == 576) return 3;
  return std::nullopt;
}

std::optional<uint8_t> VsxCodeForSize(uint16_t w, uint16_t h) {
  for (uint8_t code = 0; code < kResolutionCodeCount; ++code) {
    if (kRows[code].decode == PictureSize{w, h}) return code;
  }
  return std::nullopt;
}

}  // namespace tsv
