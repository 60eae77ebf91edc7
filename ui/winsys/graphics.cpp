#include "ui/winsys/graphics.h"

#include <cstdlib>

QColor ToQColor(TColor c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor FromQColor(const QColor &c) {
  return RGBColor(c.red(), c.green(), c.blue());
}

QFont TFont::ToQFont() const {
  QFont f(Name);
  f.setPixelSize(std::abs(Height));
  f.setBold(Bold);
  f.setStyleStrategy(QFont::NoAntialias);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

void TImageCanvas::SetClip(const QRegion &region) {
  Clip.clear();
  for (const QRect &r : region)
    Clip.push_back(ToTRect(r));
  TCanvas::SetClip(Clip.data(), Clip.size());
}

TPixels TImageCanvas::Pixels() {
  return {reinterpret_cast<uint32_t *>(Image->bits()), Image->width(), Image->height(),
          Image->bytesPerLine() / 4};
}
