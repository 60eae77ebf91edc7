// Colours, fonts and the canvas the game draws on.
#pragma once

#include "rtl/colors.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
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

struct TPen {
  int Width = 1;
  TColor Color = clBlack;
};

struct TBrush {
  TColor Color = clWhite;
};

// Drawing straight onto an image. The canvas sets the pixels itself,
// span by span, so a shape costs no painter, pen or path and allocates
// nothing. Every operation reports the rectangle it touched through
// OnDrawn, so the owner can put it on screen. While a clip region is set
// (during a repaint) nothing is drawn outside it.
class TCanvas {
public:
  explicit TCanvas(QImage *image) : Image(image) {}

  TPen Pen;
  TBrush Brush;

  // Filled with the brush, outlined with the pen (width 0 draws the
  // thinnest outline, one pixel); right and bottom edges exclusive.
  void Ellipse(int x1, int y1, int x2, int y2);
  void MoveTo(int x, int y);
  // A line from the current point, which then becomes (x, y). A line one
  // pixel wide leaves out its end point; wider lines are solid with round
  // ends. A line that starts where it ends draws nothing.
  void LineTo(int x, int y);
  void FillRect(const QRect &rect, TColor color);
  QPoint PenPos() const { return Pos; }

  void SetClip(const QRegion &region);
  void ClearClip() { Clipped = false; }

  std::function<void(const QRect &)> OnDrawn;
  QImage *Image;

private:
  // Takes the image's pixels for the shape about to be drawn.
  void Begin();
  // Sets the pixels x0..x1 (inclusive) of row y, inside the clip.
  void Span(int y, int x0, int x1, uint32_t argb);
  void Drawn(const QRect &r);

  QPoint Pos;
  uint32_t *Bits = nullptr;
  ptrdiff_t Stride = 0;
  int Width = 0, Height = 0;
  bool Clipped = false;
  std::vector<QRect> ClipRects;
};
