#include "synth/TestPicture.h"

#include <algorithm>
#include <cstdlib>

namespace tsv {

namespace {

// Glyphs are 5 columns by 7 rows; bit 4 of a row is its leftmost column.
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;  // one blank column between glyphs
constexpr int kLineAdvance = kGlyphHeight + 2;

struct Glyph {
  char c;
  uint8_t rows[kGlyphHeight];
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
};

const uint8_t* GlyphRows(char c) {
  for (const Glyph& g : kFont) {
    if (g.c == c) return g.rows;
  }
  return nullptr;  // a space
}

// Luma and chroma levels of the picture's parts.
constexpr int kPlateLuma = 24;
constexpr int kTextLuma = 224;
constexpr int kBarLumaBoost = 40;
constexpr int kBoxLuma = 170;
constexpr int kBoxU = 80;
constexpr int kBoxV = 170;

// A triangle wave of v with the given period, 0..1024.
int Tri(int64_t v, int period) {
  if (period < 2) return 0;
  int64_t p = v % period;
  if (p < 0) p += period;
  const int half = period / 2;
  return static_cast<int>(p < half ? p * 1024 / half : (period - p) * 1024 / (period - half));
}

// Bounces between 0 and range as v grows.
int Bounce(int64_t v, int range) {
  if (range <= 0) return 0;
  return static_cast<int>(static_cast<int64_t>(Tri(v, 2 * range)) * range / 1024);
}

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

struct Layout {
  int scale;    // font pixels per glyph pixel, across
  // Font rows per glyph row: at least two, so that the player's
  // de-interlace filter, which blends away single-row detail, keeps the
  // clock readable at every size.
  int scaleY;
  int margin;   // plate position from the top-left corner
  int barX;     // left edge of the sweeping bar (may be negative)
  int barWidth;
  int boxX, boxY, boxSize;
};

Layout MakeLayout(int width, int height, uint32_t k) {
  Layout l;
  l.scale = std::clamp(width / 240, 1, 3);
  l.scaleY = std::max(2, l.scale);
  l.margin = 2 * l.scale;
  l.barWidth = std::max(4, width / 12);
  const int barStep = std::max(2, width / 50);
  l.barX = static_cast<int>((static_cast<int64_t>(k) * barStep) % (width + l.barWidth)) - l.barWidth;
  l.boxSize = std::max(4, std::min(width, height) / 4) & ~1;
  l.boxX = Bounce(static_cast<int64_t>(k) * 5, width - l.boxSize);
  l.boxY = Bounce(static_cast<int64_t>(k) * 3, height - l.boxSize);
  return l;
}

// How far (x, y) lies inside the box: negative outside, 0 on its border.
int BoxDepth(const Layout& l, int x, int y) {
  return std::min({x - l.boxX, l.boxX + l.boxSize - 1 - x, y - l.boxY, l.boxY + l.boxSize - 1 - y});
}

int BackgroundLuma(int width, int height, uint32_t k, int x, int y) {
  return 40 + Tri(x + 3 * static_cast<int64_t>(k), width) * 90 / 1024 +
         Tri(y + 2 * static_cast<int64_t>(k), height) * 50 / 1024;
}

void DrawClock(const Layout& l, const std::string& line, int row, YuvPicture* out) {
  const int top = l.margin + row * kLineAdvance * l.scaleY;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const uint8_t* rows = GlyphRows(line[i]);
    if (rows == nullptr) continue;
    const int left = l.margin + l.scale + static_cast<int>(i) * kGlyphAdvance * l.scale;
    for (int gy = 0; gy < kGlyphHeight * l.scaleY; ++gy) {
      const int y = top + l.scaleY + gy;
      if (y >= out->height) break;
      for (int gx = 0; gx < kGlyphWidth * l.scale; ++gx) {
        const int x = left + gx;
        if (x >= out->width) break;
        if (rows[gy / l.scaleY] & (0x10 >> (gx / l.scale)))
          out->y[static_cast<std::size_t>(y) * out->width + x] = kTextLuma;
      }
    }
  }
}

}  // namespace

void DrawTestPicture(int width, int height, uint32_t k, const std::string& line1, const std::string& line2,
                     YuvPicture* out) {
  out->width = width;
  out->height = height;
  const int cw = width / 2;
  const int ch = height / 2;
  out->y.assign(static_cast<std::size_t>(width) * height, 0);
  out->u.assign(static_cast<std::size_t>(cw) * ch, 128);
  out->v.assign(static_cast<std::size_t>(cw) * ch, 128);
  const Layout l = MakeLayout(width, height, k);

  // The plate behind the clock: dark, colourless.
  const int plateChars = static_cast<int>(std::max(line1.size(), line2.size()));
  const int plateRight = std::min(width, l.margin + (plateChars * kGlyphAdvance + 1) * l.scale);
  const int plateBottom = std::min(height, l.margin + (2 * kLineAdvance + 1) * l.scaleY);
  auto onPlate = [&](int x, int y) {
    return plateChars > 0 && x >= l.margin && x < plateRight && y >= l.margin && y < plateBottom;
  };

  for (int y = 0; y < height; ++y) {
    uint8_t* row = out->y.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      if (onPlate(x, y)) {
        row[x] = kPlateLuma;
        continue;
      }
      int luma = BackgroundLuma(width, height, k, x, y);
      // The bar has soft edges: half strength on its outer columns.
      const int barDepth = std::min(x - l.barX, l.barX + l.barWidth - 1 - x);
      if (barDepth >= 0) luma += barDepth == 0 ? kBarLumaBoost / 2 : kBarLumaBoost;
      const int boxDepth = BoxDepth(l, x, y);
      if (boxDepth >= 0) luma = boxDepth == 0 ? (luma + kBoxLuma) / 2 : kBoxLuma;
      row[x] = Clamp255(luma);
    }
  }
  for (int cy = 0; cy < ch; ++cy) {
    for (int cx = 0; cx < cw; ++cx) {
      const std::size_t at = static_cast<std::size_t>(cy) * cw + cx;
      const int x = 2 * cx;
      const int y = 2 * cy;
      if (onPlate(x, y)) continue;
      if (BoxDepth(l, x, y) >= 0 && BoxDepth(l, x + 1, y + 1) >= 0) {
        out->u[at] = kBoxU;
        out->v[at] = kBoxV;
        continue;
      }
      out->u[at] = Clamp255(128 + (Tri(x + 2 * static_cast<int64_t>(k), width) - 512) * 24 / 512);
      out->v[at] = Clamp255(128 + (Tri(y + static_cast<int64_t>(k), height) - 512) * 24 / 512);
    }
  }
  DrawClock(l, line1, 0, out);
  DrawClock(l, line2, 1, out);
}

std::vector<uint8_t> ToBgrBottomUp(const YuvPicture& p) {
  std::vector<uint8_t> bgr(static_cast<std::size_t>(p.width) * p.height * 3);
  const int cw = p.width / 2;
  for (int y = 0; y < p.height; ++y) {
    uint8_t* out = bgr.data() + static_cast<std::size_t>(p.height - 1 - y) * p.width * 3;
    const uint8_t* luma = p.y.data() + static_cast<std::size_t>(y) * p.width;
    const uint8_t* u = p.u.data() + static_cast<std::size_t>(y / 2) * cw;
    const uint8_t* v = p.v.data() + static_cast<std::size_t>(y / 2) * cw;
    for (int x = 0; x < p.width; ++x) {
      const int lum = luma[x];
      const int cb = u[x / 2] - 128;
      const int cr = v[x / 2] - 128;
      out[3 * x + 0] = Clamp255(lum + ((16646 * cb) >> 13));
      out[3 * x + 1] = Clamp255(lum + ((-4760 * cr - 3228 * cb) >> 13));
      out[3 * x + 2] = Clamp255(lum + ((9339 * cr) >> 13));
    }
  }
  return bgr;
}

}  // namespace tsv
