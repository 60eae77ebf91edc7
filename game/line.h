// A wall: a thick, dark-grey segment that blocks tanks and stops bullets.
#pragma once

#include "game/common.h"

class CLine {
public:
  TPointF P1;
  TPointF P2;
  // The slope form of the wall's line, y = Slope·x + Intercept; 0 and 0
  // for a vertical wall, which has none.
  double Slope = 0;
  double Intercept = 0;
  double Length = 0;
  // The line's general equation A·x + B·y + C = 0, with Norm = √(A² + B²).
  // For every wall but a vertical one, A = Slope, B = −1, C = Intercept,
  // so the signed distance (A·x + C + B·y) / Norm is, to the last bit,
  // (Slope·x + Intercept − y) / √(Slope² + 1). A vertical wall x = x0 has
  // A = 1, B = 0, C = −x0 and blocks like any other.
  double A = 0;
  double B = -1;
  double C = 0;
  double Norm = 1;

  // Stores the two ends and derives the other fields from them.
  void SetEnds(TPointF P1, TPointF P2);
  // Draws the wall on the main window, or paints it over in the window
  // colour.
  void Draw(bool Erase);
  // True when a move of a point from From to To is blocked by this wall:
  // To is near the wall's extent and the move crosses its line or ends
  // within Margin of it.
  bool IsNear(TPointF From, TPointF To, double Margin) const;
  // The distance of P from the wall's line; positive above it.
  double SignedDistance(TPointF P) const;
};
