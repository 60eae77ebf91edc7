// A bullet: a small black dot that flies 10 pixels per tick from the
// barrel tip of the tank that fired it, until it hits a tank, stops at a
// wall or has used up its range. The pool of bullets is made once; a shot
// takes an idle one and stopping makes it idle again.
#pragma once

#include "game/common.h"

#include <cstdint>

class CTankType;

class CBall {
public:
  // Heading in radians, copied from the firing tank.
  float Angle = 0;
  TPointF Pos;
  // 0: idle. In flight: 1 when fired, one more after each step.
  int32_t Life = 0;

  // A bullet stops where it comes within this of a wall.
  static constexpr double WallMargin = 2;

  // Where a bullet flying at `angle` is one step after `from`: 10 pixels on.
  static TPointF StepAhead(TPointF from, float angle);
  // A bullet hits a tank whose centre is nearer to its step's end than
  // the tank's radius and this.
  static constexpr double HitMargin = 3;
  // Whether a bullet whose step ends at `to` hits `tank` with its centre
  // at `centre`.
  static bool Reaches(const CTankType &tank, TPointF centre, TPointF to);

  void Draw(bool Erase);
  // One step: looks ahead for tanks and walls, then moves or stops.
  void Fly();
  // True when the step from From to To is clear; otherwise the bullet has
  // stopped, and a tank in reach has been destroyed and scored.
  bool CheckHits(TPointF From, TPointF To);
  // Ends the flight; inside the window the impact marker and its sound
  // mark the spot.
  void Stop();
};
