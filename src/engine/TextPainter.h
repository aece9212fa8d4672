// Text drawn into a picture, for the date and time burnt into exported
// pictures. The core has no font renderer of its own: the front end hands
// one in (the window and the command-line tool draw with QtGui, so burnt-in
// text looks like the window's on-screen display).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsv {

struct PictureText {
  int x = 0;  // left edge of the text, pixels from the picture's left
  int y = 0;  // top edge of the text, pixels from the picture's top
  std::string text;
  uint32_t colour = 0xFFFFFF;  // red in the lowest byte
};

class TextPainter {
 public:
  virtual ~TextPainter() = default;
  // Draws each text on a transparent background into the picture (blue-
  // green-red, bottom row first, width x 3 bytes per row), in place;
  // text beyond the picture's edges is clipped.
  virtual void DrawTexts(uint8_t* picture, uint16_t width, uint16_t height, const std::vector<PictureText>& texts) = 0;
};

}  // namespace tsv
