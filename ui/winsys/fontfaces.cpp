#include "ui/winsys/fontfaces.h"

#include "ui/winsys/graphics.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

int ScaledPixels(int pixels, double dpi) {
  return int(std::lround(pixels * dpi / 96.0));
}

// "MS Sans Serif" is a bitmap face of six sizes (8 to 24 points); at 96
// pixels per inch their character and text heights are these. A height
// gets the largest size whose characters are not taller, else the smallest.
int SansSerifTextHeight(int pixels, double dpi) {
  struct TSize {
    int Character, Text;
  };
  static constexpr std::array<TSize, 6> kSizes{
      {{11, 13}, {13, 16}, {16, 20}, {19, 24}, {24, 29}, {32, 37}}};
  int text = ScaledPixels(kSizes[0].Text, dpi);
  for (const TSize &size : kSizes)
    if (ScaledPixels(size.Character, dpi) <= pixels)
      text = ScaledPixels(size.Text, dpi);
  return text;
}

double ScreenDpi() {
  const QScreen *screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
  const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  return dpi > 0 ? dpi : 96.0;
}

int TextHeight(QFont face, int pixelSize) {
  face.setPixelSize(pixelSize);
  return QFontMetrics(face).height();
}

} // namespace

int DesignedTextHeight(const QString &face, int height, double dpi) {
  const int pixels = std::abs(height);
  if (face.compare("MS Sans Serif", Qt::CaseInsensitive) == 0)
    return SansSerifTextHeight(pixels, dpi);
  // "System" is a bitmap face of one size: 20 pixels of text on the
  // screen the main window was designed on.
  if (face.compare("System", Qt::CaseInsensitive) == 0)
    return ScaledPixels(20, dpi);
  // "Comic Sans MS" (lines of 1.39 em) is not listed: its stand-in, Comic
  // Neue, has lines of 1.15 em, and sized to the designed line height its
  // words come out wider than designed and its wrapped labels take more
  // lines (the blue heading four instead of three, over the first row of
  // keys). It keeps the designed character height.
  return 0;
}

int StandInPixelSize(const TFont &font, const QFont &face) {
  const int pixels = std::max(std::abs(font.Height), 1);
  if (!qGuiApp)
    return pixels;
  const double dpi = ScreenDpi();
  const int target = DesignedTextHeight(font.Name, font.Height, dpi);
  if (target <= 0)
    return pixels;
  // Sizes are asked for often (every label measures and paints its text):
  // each is worked out once.
  static QHash<QString, int> known;
  const QString key =
      QString("%1/%2/%3/%4").arg(font.Name).arg(font.Height).arg(font.Bold).arg(dpi);
  if (auto it = known.constFind(key); it != known.constEnd())
    return *it;
  // Text height grows with the pixel size, a pixel or so per step.
  int size = pixels;
  while (size > 1 && TextHeight(face, size) > target)
    --size;
  while (size < 4 * pixels && TextHeight(face, size + 1) <= target)
    ++size;
  known.insert(key, size);
  return size;
}
