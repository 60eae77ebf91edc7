#include "game/line.h"

#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <cmath>

void CLine::SetEnds(TPointF p1, TPointF p2) {
  P1 = p1;
  P2 = p2;
  if (P1.Y - P2.Y != 0 && P1.X - P2.X == 0) {
    Slope = 0;
    Intercept = 0;
    A = 1;
    B = 0;
    C = -P1.X;
    Norm = 1;
  } else {
    // A horizontal wall, or one whose two ends coincide, has slope 0.
    Slope = P1.Y - P2.Y != 0 ? (P1.Y - P2.Y) / (P1.X - P2.X) : 0;
    Intercept = P1.Y - Slope * P1.X;
    A = Slope;
    B = -1;
    C = Intercept;
    Norm = std::sqrt(Slope * Slope + 1);
  }
  Length = Distance(P1, P2);
}

void CLine::Draw(bool Erase) {
  TCanvas *canvas = GameWindow->Canvas();
  canvas->Pen.Width = 5;
  const TColor colour = Erase ? GameWindow->WindowColor() : RGBColor(0x33, 0x33, 0x33);
  canvas->Pen.Color = colour;
  canvas->Brush.Color = colour;
  canvas->MoveTo(Round(P1.X), Round(P1.Y));
  canvas->LineTo(Round(P2.X), Round(P2.Y));
}

double CLine::SignedDistance(TPointF P) const {
  return (A * P.X + C + B * P.Y) / Norm;
}

bool CLine::IsNear(TPointF From, TPointF To, double Margin) const {
  // Only points inside the ellipse around the wall, reaching 5 pixels
  // beyond each end, can be blocked.
  const double d1 = Distance(To, P1), d2 = Distance(To, P2);
  if (Length + 10 < d1 + d2)
    return false;
  const double dFrom = SignedDistance(From), dTo = SignedDistance(To);
  // The move ends on or beyond the line, seen from where it began.
  if (dTo <= 0 && dFrom >= 0)
    return true;
  if (dTo >= 0 && dFrom <= 0)
    return true;
  return std::fabs(dTo) <= Margin;
}
