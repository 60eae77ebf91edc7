// A real main window with a seeded generator, a set clock and the sound
// device paused, for tests of the battlefield and the game flow.
#pragma once

#include "rtl/sysutils.h"
#include "tests/game/field_moves.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>
#include <memory>

class GameTest : public ::testing::Test, protected FieldMoves {
protected:
  void SetUp() override { MakeForm(); }

  void MakeForm(int screenWidth = 1280, int screenHeight = 1024) {
    form.reset();
    Application.SetScreenSize(screenWidth, screenHeight);
    Application.Params.clear();
    SetRandSeed(20261208);
    SetNowOverride(Clock);
    form = std::make_unique<TForm1>();
    // Nothing reaches a sound card; tests look at the buffers' state.
    form->SfxAudio1->SetPaused(true);
    form->Update();
  }

  void TearDown() override {
    if (form)
      form->Timer1->SetEnabled(false);
    form.reset();
    ClearNowOverride();
    Application.MessageHook = nullptr;
    Application.Terminated = false;
  }

  // Start game, with the ticks coming from the test.
  void StartGame() {
    form->btnStart->click();
    form->Timer1->SetEnabled(false);
    form->Update();
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i)
      form->Timer1Timer();
  }
  void KeyDown(uint16_t key) { form->FormKeyDown(key); }
  void KeyUp(uint16_t key) { form->FormKeyUp(key); }

  TSfxSoundBuffer *Sound(int i) const { return form->SfxAudio1->Sound(i); }
  QRgb Pixel(double x, double y) const { return form->Image().pixel(Round(x), Round(y)); }
  int Count(QRect area, QRgb colour) const {
    int n = 0;
    area = area.intersected(form->Image().rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        n += form->Image().pixel(x, y) == colour;
    return n;
  }
  static QRect Around(TPointF p, int r) {
    return QRect(Round(p.X) - r, Round(p.Y) - r, 2 * r + 1, 2 * r + 1);
  }

  static inline const QRgb kOlive = qRgb(128, 128, 0), kRed = qRgb(255, 0, 0),
                           kMagenta = qRgb(255, 0, 255), kBlue = qRgb(0, 0, 255),
                           kAqua = qRgb(0, 255, 255), kWallGrey = qRgb(51, 51, 51),
                           kBlack = qRgb(0, 0, 0);

  std::unique_ptr<TForm1> form;
};
