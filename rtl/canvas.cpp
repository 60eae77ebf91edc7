#include "rtl/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

TRect TRect::Intersected(const TRect &r) const {
  return {std::max(Left, r.Left), std::max(Top, r.Top), std::min(Right, r.Right),
          std::min(Bottom, r.Bottom)};
}

namespace {
// Floor and ceiling to int, inline (the library's calls cost more than a
// small shape's whole row). Shapes that matter lie well inside int range;
// the others are clamped.
inline int FloorInt(double v) {
  v = std::clamp(v, -1e9, 1e9);
  const int i = static_cast<int>(v);
  return i > v ? i - 1 : i;
}
inline int CeilInt(double v) {
  v = std::clamp(v, -1e9, 1e9);
  const int i = static_cast<int>(v);
  return i < v ? i + 1 : i;
}

// The pixels whose centres lie in [lo, hi] along one axis.
inline int FirstPixel(double lo) {
  return CeilInt(lo - 0.5);
}
inline int LastPixel(double hi) {
  return FloorInt(hi - 0.5);
}

// Widens [lo, hi] by the interval [a, b].
inline void Widen(double &lo, double &hi, double a, double b) {
  lo = std::min(lo, a);
  hi = std::max(hi, b);
}

// The rectangle holding both points.
TRect Spanning(TPoint a, TPoint b) {
  return {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X) + 1, std::max(a.Y, b.Y) + 1};
}
} // namespace

void TCanvas::SetClip(const TRect *rects, size_t count) {
  ClipRects.assign(rects, rects + count);
  Clipped = true;
}

void TCanvas::Begin() {
  Px = Pixels();
}

void TCanvas::Span(int y, int x0, int x1, uint32_t argb) {
  if (y < 0 || y >= Px.Height)
    return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, Px.Width - 1);
  if (x0 > x1)
    return;
  uint32_t *row = Px.Bits + static_cast<ptrdiff_t>(y) * Px.Stride;
  if (!Clipped) {
    std::fill(row + x0, row + x1 + 1, argb);
    return;
  }
  for (const TRect &r : ClipRects) {
    if (y < r.Top || y >= r.Bottom)
      continue;
    const int a = std::max(x0, r.Left), b = std::min(x1, r.Right - 1);
    if (a <= b)
      std::fill(row + a, row + b + 1, argb);
  }
}

void TCanvas::Drawn(const TRect &r) {
  const TRect touched = r.Intersected({0, 0, Px.Width, Px.Height});
  if (!touched.IsEmpty() && OnDrawn)
    OnDrawn(touched);
}

// A pixel belongs to the ellipse when its centre lies inside the ellipse
// that fits the box; it belongs to the outline when it lies outside the
// ellipse shrunk by the pen's width.
void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x2 < x1)
    std::swap(x1, x2);
  if (y2 < y1)
    std::swap(y1, y2);
  if (x2 - x1 < 1 || y2 - y1 < 1)
    return;
  Begin();
  const double cx = (x1 + x2) * 0.5, cy = (y1 + y2) * 0.5;
  const double a = (x2 - x1) * 0.5, b = (y2 - y1) * 0.5;
  const int w = std::max(Pen.Width, 1);
  const double ia = a - w, ib = b - w;
  const uint32_t pen = Argb(Pen.Color), brush = Argb(Brush.Color);
  for (int y = y1; y < y2; ++y) {
    const double dy = (y + 0.5 - cy) / b;
    const double rest = 1 - dy * dy;
    if (rest < 0)
      continue;
    const double half = a * std::sqrt(rest);
    const int left = std::max(FirstPixel(cx - half), x1),
              right = std::min(LastPixel(cx + half), x2 - 1);
    if (left > right)
      continue;
    int innerLeft = right + 1, innerRight = right;
    if (ia > 0 && ib > 0) {
      const double idy = (y + 0.5 - cy) / ib;
      const double irest = 1 - idy * idy;
      if (irest >= 0) {
        const double ihalf = ia * std::sqrt(irest);
        innerLeft = std::max(FirstPixel(cx - ihalf), left);
        innerRight = std::min(LastPixel(cx + ihalf), right);
      }
    }
    if (innerLeft > innerRight) {
      Span(y, left, right, pen);
      continue;
    }
    Span(y, left, innerLeft - 1, pen);
    Span(y, innerLeft, innerRight, brush);
    Span(y, innerRight + 1, right, pen);
  }
  Drawn({x1, y1, x2, y2});
}

void TCanvas::MoveTo(int x, int y) {
  Pos = {x, y};
}

void TCanvas::LineTo(int x, int y) {
  const TPoint from = Pos, to{x, y};
  Pos = to;
  if (from == to)
    return;
  Begin();
  const uint32_t argb = Argb(Pen.Color);
  if (Pen.Width <= 1) {
    // Bresenham's line, without its end point.
    int px = from.X, py = from.Y;
    const int dx = std::abs(x - px), dy = -std::abs(y - py);
    const int sx = px < x ? 1 : -1, sy = py < y ? 1 : -1;
    int err = dx + dy;
    while (px != x || py != y) {
      Span(py, px, px, argb);
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        px += sx;
      }
      if (e2 <= dx) {
        err += dx;
        py += sy;
      }
    }
    Drawn(Spanning(from, to));
    return;
  }
  // A wide line: the pixels whose centres lie within half the pen's width
  // of the segment between the two pixel centres, row by row.
  const double r = Pen.Width * 0.5;
  const double ax = from.X + 0.5, ay = from.Y + 0.5, bx = x + 0.5, by = y + 0.5;
  const double vx = bx - ax, vy = by - ay, len2 = vx * vx + vy * vy, len = std::sqrt(len2);
  const int top = FirstPixel(std::min(ay, by) - r), bottom = LastPixel(std::max(ay, by) + r);
  for (int row = top; row <= bottom; ++row) {
    const double py = row + 0.5;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    // The round ends.
    for (const auto &[cx, cy] : {std::pair{ax, ay}, std::pair{bx, by}}) {
      const double d = py - cy;
      if (d * d <= r * r) {
        const double h = std::sqrt(r * r - d * d);
        Widen(lo, hi, cx - h, cx + h);
      }
    }
    // The band between them: within r of the line, projection inside the
    // segment.
    double bandLo = -HUGE_VAL, bandHi = HUGE_VAL;
    if (vy != 0) {
      // |vy*(px-ax) - vx*(py-ay)| / len <= r
      const double c = ax + vx * (py - ay) / vy, h = std::abs(r * len / vy);
      bandLo = c - h;
      bandHi = c + h;
    } else if (std::abs(py - ay) > r) {
      bandLo = HUGE_VAL;
    }
    // 0 <= vx*(px-ax) + vy*(py-ay) <= len2
    if (vx != 0) {
      double t0 = ax - vy * (py - ay) / vx, t1 = ax + (len2 - vy * (py - ay)) / vx;
      if (t0 > t1)
        std::swap(t0, t1);
      bandLo = std::max(bandLo, t0);
      bandHi = std::min(bandHi, t1);
    } else {
      const double t = vy * (py - ay);
      if (t < 0 || t > len2)
        bandLo = HUGE_VAL;
    }
    if (bandLo <= bandHi)
      Widen(lo, hi, bandLo, bandHi);
    if (lo <= hi)
      Span(row, FirstPixel(lo), LastPixel(hi), argb);
  }
  const int grow = Pen.Width / 2 + 1;
  TRect r2 = Spanning(from, to);
  Drawn({r2.Left - grow, r2.Top - grow, r2.Right + grow, r2.Bottom + grow});
}

void TCanvas::FillRect(const TRect &rect, TColor color) {
  Begin();
  const TRect r = rect.Intersected({0, 0, Px.Width, Px.Height});
  const uint32_t argb = Argb(color);
  for (int y = r.Top; y < r.Bottom; ++y)
    Span(y, r.Left, r.Right - 1, argb);
  Drawn(rect);
}
