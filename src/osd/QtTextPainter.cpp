#include "osd/QtTextPainter.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>

namespace tsv {

QFont OsdFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(14);
  font.setBold(true);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QtTextPainter::QtTextPainter() : font_(OsdFont()) {}

// Each text is drawn into a small transparent image and blended into the
// picture row by row: the picture's rows run bottom-up, which QImage cannot
// address in place.
void QtTextPainter::DrawTexts(uint8_t* picture, uint16_t width, uint16_t height,
                              const std::vector<PictureText>& texts) {
  const QFontMetrics metrics(font_);
  for (const PictureText& t : texts) {
    const QString text = QString::fromUtf8(t.text.data(), static_cast<qsizetype>(t.text.size()));
    if (text.isEmpty()) continue;
    const QSize size(metrics.horizontalAdvance(text) + 2, metrics.height());
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
      QPainter painter(&layer);
      painter.setFont(font_);
      painter.setPen(QColor(t.colour & 0xFF, (t.colour >> 8) & 0xFF, (t.colour >> 16) & 0xFF));
      painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignTop, text);
    }
    const int x0 = std::max(0, t.x), x1 = std::min<int>(width, t.x + size.width());
    const int y0 = std::max(0, t.y), y1 = std::min<int>(height, t.y + size.height());
    for (int y = y0; y < y1; ++y) {
      const auto* src = reinterpret_cast<const QRgb*>(layer.constScanLine(y - t.y));
      uint8_t* row = picture + static_cast<std::size_t>(height - 1 - y) * width * 3;
      for (int x = x0; x < x1; ++x) {
        const QRgb c = src[x - t.x];
        const int a = qAlpha(c);
        if (a == 0) continue;
        uint8_t* px = row + x * 3;
        // Premultiplied source over the picture.
        px[0] = static_cast<uint8_t>(qBlue(c) + px[0] * (255 - a) / 255);
        px[1] = static_cast<uint8_t>(qGreen(c) + px[1] * (255 - a) / 255);
        px[2] = static_cast<uint8_t>(qRed(c) + px[2] * (255 - a) / 255);
      }
    }
  }
}

}  // namespace tsv
