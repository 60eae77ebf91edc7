// The endless battle on the real main window, on Qt's offscreen platform
// with the sound device paused.
#pragma once

#include "tests/alloc/battle.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <memory>

namespace battle {

// Sets the platform and the audio driver; call before the QApplication is
// made.
inline void SetHeadlessEnvironment() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// The form opens "BackgroundMusic.mid" from the current directory.
inline bool EnterRunDir(const char *runDir) {
  return QDir::setCurrent(QString::fromUtf8(runDir)) && QFileInfo::exists("BackgroundMusic.mid");
}

// The real main window on a 1280 x 1024 screen, with the sound device
// paused and a fixed random sequence.
inline std::unique_ptr<TForm1> MakeForm(uint32_t seed = 12345) {
  SetRandSeed(seed);
  Application.SetScreenSize(1280, 1024);
  Application.Params.clear();
  auto form = std::make_unique<TForm1>();
  form->SfxAudio1->SetPaused(true);
  form->Update();
  return form;
}

// Keys reach the form's handlers and ticks its timer handler.
class FormBattle : public Battle {
public:
  explicit FormBattle(TForm1 *form) : Form(form) {}

protected:
  void BeginGame() override {
    Form->btnStart->click();
    Form->Timer1->SetEnabled(false);
  }
  void Press(uint16_t key) override { Form->FormKeyDown(key); }
  void Release(uint16_t key) override { Form->FormKeyUp(key); }
  void RunTick() override { Form->Timer1Timer(); }
  bool Quiet() const override {
    return !Form->imgStar->Visible() && !Form->imgBird->Visible() && Form->btnStart->isHidden();
  }
  int FieldWidth() const override { return Form->ClientWidth(); }
  int FieldHeight() const override { return Form->ClientHeight(); }

private:
  TForm1 *Form;
};

} // namespace battle
