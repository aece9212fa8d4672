#include "formats/PlaybackState.h"

#include <cstdio>

namespace tsv {

const char* SpeedText(uint8_t level) {
  static const char* const kTexts[] = {"1/16", "1/8", "1/4", "1/2", "1", "2", "4", "8", "16"};
  return level < 9 ? kTexts[level] : "";
}

void PrepareRings(PlaybackState& state, bool withPictures) {
  if (!state.frameRing) state.frameRing.reset(new uint8_t[kRingSlots * kFrameSlotSize]);
  if (withPictures && !state.pictureRing) state.pictureRing.reset(new uint8_t[kRingSlots * kPictureSlotBytes]);
  state.pictureRecords.fill(PictureRecord{});
  for (auto& reserve : state.soundReserves) reserve = 0;
  for (auto& mark : state.pictureEndMark) mark = 0;
}

std::string FormatDurationText(uint32_t seconds, uint8_t speedLevel) {
  // Signed arithmetic as the original display does.
  const int s = static_cast<int>(seconds);
  const int days = s / 86400;
  const int hours = s / 3600 - days * 24;
  const int minutes = s / 60 - (s / 3600) * 60;
  const int secs = s % 60;
  char text[96];
  std::snprintf(text, sizeof text, "Duration : %.2ddays %.2d:%.2d:%.2d  %s X", days, hours, minutes, secs,
                SpeedText(speedLevel));
  return text;
}

std::string FormatPictureTime(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2d/%.2d/%.2d  %.2d:%.2d:%.2d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

std::string FormatIpAddress(uint32_t a) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a & 0xFF, (a >> 8) & 0xFF, (a >> 16) & 0xFF, a >> 24);
  return text;
}

}  // namespace tsv
