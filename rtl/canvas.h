// Drawing on 32-bit pixels: pen, brush, ellipses and lines, with colours as
// $00BBGGRR values. The canvas sets the pixels itself, span by span, so a
// shape costs no painter, pen or path and allocates nothing. Every
// operation reports the rectangle it touched through OnDrawn, so the owner
// can put it on screen. While clip rectangles are set nothing is drawn
// outside them.
#pragma once

#include "rtl/colors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint &) const = default;
};

// A rectangle of pixels; Right and Bottom lie just outside it.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TRect Intersected(const TRect &r) const;
  bool operator==(const TRect &) const = default;
};

struct TPen {
  int Width = 1;
  TColor Color = clBlack;
};

struct TBrush {
  TColor Color = clWhite;
};

// Where a shape's pixels are: 0xFFRRGGBB values, rows Stride pixels apart.
struct TPixels {
  uint32_t *Bits = nullptr;
  int Width = 0;
  int Height = 0;
  ptrdiff_t Stride = 0;
};

class TCanvas {
public:
  TCanvas() = default;
  virtual ~TCanvas() = default;
  TCanvas(const TCanvas &) = delete;
  TCanvas &operator=(const TCanvas &) = delete;

  TPen Pen;
  TBrush Brush;

  // The pixels drawn on from now on.
  void SetPixels(const TPixels &pixels) { Target = pixels; }

  // Filled with the brush, outlined with the pen (width 0 draws the
  // thinnest outline, one pixel); right and bottom edges exclusive.
  void Ellipse(int x1, int y1, int x2, int y2);
  void MoveTo(int x, int y);
  // A line from the current point, which then becomes (x, y). A line one
  // pixel wide leaves out its end point; wider lines are solid with round
  // ends. A line that starts where it ends draws nothing.
  void LineTo(int x, int y);
  void FillRect(const TRect &rect, TColor color);
  TPoint PenPos() const { return Pos; }

  // Draws only inside these rectangles until ClearClip.
  void SetClip(const TRect *rects, size_t count);
  void ClearClip() { Clipped = false; }

  std::function<void(const TRect &)> OnDrawn;

  // The pixel value of a colour: 0xFFRRGGBB.
  static uint32_t Argb(TColor c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }

protected:
  // The pixels for the shape about to be drawn; by default those last
  // given to SetPixels. An owner whose pixels can move gives them afresh.
  virtual TPixels Pixels() { return Target; }

private:
  void Begin();
  // Sets the pixels x0..x1 (inclusive) of row y, inside the clip.
  void Span(int y, int x0, int x1, uint32_t argb);
  void Drawn(const TRect &r);

  TPixels Target;
  TPixels Px;
  TPoint Pos;
  bool Clipped = false;
  std::vector<TRect> ClipRects;
};
