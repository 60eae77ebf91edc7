#include "game/ball.h"

#include "game/line.h"
#include "game/player.h"
#include "game/tank.h"
#include "rtl/sysutils.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <cmath>

void CBall::Draw(bool Erase) {
  TCanvas *canvas = Form1->Canvas();
  canvas->Pen.Width = 0;
  canvas->Brush.Color = Erase ? Form1->Color : clBlack;
  canvas->Pen.Color = Form1->Color;
  canvas->Ellipse(Round(Pos.X - 3), Round(Pos.Y - 3), Round(Pos.X + 3), Round(Pos.Y + 3));
}

void CBall::Fly() {
  ++Life;
  const TPointF next{Pos.X + 10 * std::cos(double(Angle)), Pos.Y + 10 * std::sin(double(Angle))};
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
      if (Distance(tank->Pos, To) < tank->Radius + 3) {
        clear = false;
        Application.Beep();
        Stop();
        tank->TakeHit();
        // The point goes to the player who did not own the tank.
        if (i == 1) {
          ++Players[2]->Score;
          Form1->lblBluePoints->SetCaption(QString::fromUtf8("Blå points: ") +
                                           QString::number(Players[2]->Score));
        } else {
          ++Players[1]->Score;
          Form1->lblRedPoints->SetCaption(QString::fromUtf8("Røde points: ") +
                                          QString::number(Players[1]->Score));
        }
      }
    }
  }
  for (int32_t w = 1; w <= LineCount && clear; ++w) {
    if (Lines[w]->IsNear(From, To, 2)) {
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
  if (0 < Pos.X && Pos.X < Form1->ClientWidth() && 0 < Pos.Y && Pos.Y < Form1->ClientHeight()) {
    Form1->SfxAudio1->Sound(sndImpact)->Play();
    Form1->ShowMarker(Form1->imgStar, Pos);
  }
}
