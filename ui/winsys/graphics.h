// Colours, fonts and the canvas the game draws on.
#pragma once

#include "rtl/canvas.h"
#include "rtl/colors.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QString>
#include <vector>

QColor ToQColor(TColor c);
TColor FromQColor(const QColor &c);

// A font by face name, with the height given as the negative of the
// character height in pixels.
struct TFont {
  QString Name = "System";
  int Height = -16;
  TColor Color = clWindowText;
  bool Bold = false;

  QFont ToQFont() const;
  bool operator==(const TFont &) const = default;
};

// The canvas over an image: the shapes land on the image's pixels, taken
// afresh for each shape (a copy of the image may have made it detach), and
// the window layer's rectangles and regions convert on the way.
class TImageCanvas : public TCanvas {
public:
  explicit TImageCanvas(QImage *image) : Image(image) {}

  using TCanvas::FillRect;
  void FillRect(const QRect &rect, TColor color) { FillRect(ToTRect(rect), color); }
  // While a clip region is set (during a repaint) nothing is drawn outside
  // it.
  void SetClip(const QRegion &region);

  static TRect ToTRect(const QRect &r) {
    return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
  }
  static QRect ToQRect(const TRect &r) {
    return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  }

  QImage *Image;

protected:
  TPixels Pixels() override;

private:
  std::vector<TRect> Clip;
};
