#include "game/ball.h"

#include "game/battlefield.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

// A score caption, "<label><score>", written into `buffer`: no heap,
// however many digits the score has.
std::string_view ScoreCaption(char (&buffer)[32], std::string_view label, int32_t score) {
  std::memcpy(buffer, label.data(), label.size());
  const auto end = std::to_chars(buffer + label.size(), buffer + sizeof buffer, score).ptr;
  return {buffer, size_t(end - buffer)};
}

} // namespace

void CBall::Draw(bool Erase) {
  TCanvas *canvas = GameWindow->Canvas();
  const TColor background = GameWindow->WindowColor();
  canvas->Pen.Width = 0;
  canvas->Brush.Color = Erase ? background : clBlack;
  canvas->Pen.Color = background;
  canvas->Ellipse(Round(Pos.X - 3), Round(Pos.Y - 3), Round(Pos.X + 3), Round(Pos.Y + 3));
}

TPointF CBall::StepAhead(TPointF from, float angle) {
  const TPointF d = FieldDirection(double(angle));
  return {from.X + 10 * d.X, from.Y + 10 * d.Y};
}

bool CBall::Reaches(const CTankType &tank, TPointF centre, TPointF to) {
  return Distance(centre, to) < tank.Radius + HitMargin;
}

void CBall::Fly() {
  ++Life;
  const TPointF next = StepAhead(Pos, Angle);
  if (CheckHits(Pos, next)) {
    Draw(true);
    Pos = next;
    Draw(false);
  }
  if (Life > BallRange)
    Stop();
}

bool CBall::CheckHits(TPointF From, TPointF To) {
  bool clear = true;
  // Tanks first: a tank in reach behind a wall is hit all the same.
  for (int32_t i = 1; i <= PlayerCount && clear; ++i) {
    for (int32_t j = 1; j <= Players[i]->TankCount && clear; ++j) {
      CTankType *tank = Tanks[i][j];
      if (Reaches(*tank, tank->Pos, To)) {
        clear = false;
        GameWindow->Beep();
        Stop();
        tank->TakeHit();
        // The point goes to the player who did not own the tank.
        char caption[32];
        if (i == 1) {
          ++Players[2]->Score;
          GameWindow->SetScoreCaption(2, ScoreCaption(caption, "Blå points: ", Players[2]->Score));
        } else {
          ++Players[1]->Score;
          GameWindow->SetScoreCaption(1, ScoreCaption(caption, "Røde points: ", Players[1]->Score));
        }
      }
    }
  }
  for (int32_t w = 1; w <= LineCount && clear; ++w) {
    if (Lines[w]->IsNear(From, To, WallMargin)) {
      clear = false;
      Stop();
      // Erasing the bullet may have painted over part of the wall.
      Lines[w]->Draw(false);
    }
  }
  return clear;
}

void CBall::Stop() {
  Draw(true);
  Life = 0;
  if (0 < Pos.X && Pos.X < GameWindow->ClientWidth() && 0 < Pos.Y &&
      Pos.Y < GameWindow->ClientHeight()) {
    GameWindow->PlaySound(sndImpact);
    GameWindow->ShowMarker(TMarker::Star, Pos);
  }
}
