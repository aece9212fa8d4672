// Burnt-in text drawn with QtGui: the font and look of the player's on-screen
// display, for pictures that leave the player (exports). Needs a
// QGuiApplication (the offscreen platform serves where there is no display).
#pragma once

#include <QFont>

#include "engine/TextPainter.h"

namespace tsv {

// The on-screen display's font.
QFont OsdFont();

class QtTextPainter final : public TextPainter {
 public:
  QtTextPainter();
  void DrawTexts(uint8_t* picture, uint16_t width, uint16_t height, const std::vector<PictureText>& texts) override;

 private:
  QFont font_;
};

}  // namespace tsv
