// Colours, fonts and the canvas the game draws on.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <cstdint>
#include <functional>

// A colour as $00BBGGRR: red in the low byte, blue in the third.
using TColor = uint32_t;

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr TColor clOlive = RGBColor(128, 128, 0);
constexpr TColor clMaroon = RGBColor(128, 0, 0);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clBlue = RGBColor(0, 0, 255);
constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clWhite = RGBColor(255, 255, 255);
constexpr TColor clWindowText = clBlack;

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

// Drawing straight onto an image. Every operation reports the rectangle it
// touched through OnDrawn, so the owner can put it on screen. While a clip
// region is set (during a repaint) nothing is drawn outside it.
class TCanvas {
public:
  explicit TCanvas(QImage *image) : Image(image) {}

  TPen Pen;
  TBrush Brush;

  // Filled with the brush, outlined with the pen; right and bottom edges
  // exclusive.
  void Ellipse(int x1, int y1, int x2, int y2);
  void MoveTo(int x, int y);
  // A line from the current point, which then becomes (x, y). Wide lines
  // are solid with round ends.
  void LineTo(int x, int y);
  void FillRect(const QRect &rect, TColor color);
  QPoint PenPos() const { return Pos; }

  void SetClip(const QRegion &region) { Clip = region; }
  void ClearClip() { Clip = QRegion(); }

  std::function<void(const QRect &)> OnDrawn;
  QImage *Image;

private:
  void Begin(class QPainter &p) const;
  void Drawn(const QRect &r);

  QPoint Pos;
  QRegion Clip;
};
