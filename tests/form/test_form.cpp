// The real main window and About box under the offscreen platform.
#include "rtl/sysutils.h"
#include "ui/about.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Screen {
  int width, height;
};

std::unique_ptr<TForm1> MakeForm(Screen screen = {1280, 1024}, QStringList params = {}) {
  Application.SetScreenSize(screen.width, screen.height);
  Application.Params = params;
  auto form = std::make_unique<TForm1>();
  form->Update();
  return form;
}

class FormTest : public ::testing::Test {
protected:
  void TearDown() override {
    Application.MessageHook = nullptr;
    Application.Terminated = false;
    Application.Params.clear();
  }
};

} // namespace

TEST_F(FormTest, ContentsAreCreatedInTheirDesignedOrder) {
  auto form = MakeForm();
  const QStringList expected = {
      "lblRedHits",      "lblBlueHits", "lblBlackHits", "lblRedPoints", "lblBluePoints", "imgStar",
      "imgBird",         "lblExplane",  "lblLetter",    "Label1",       "Label2",        "Label3",
      "Label4",          "Label5",      "Label6",       "Label7",       "Label8",        "Label9",
      "Label10",         "Label11",     "Label12",      "Label13",      "Label14",       "Label15",
      "Label16",         "Label17",     "Label18",      "Label19",      "Label20",       "Label21",
      "BackgroundMusic", "btnStart",    "btnExit",      "StatusBar1",   "StatusBar2",    "cmdAbout",
      "Timer1",          "SfxAudio1",   "SfxSoundLib1"};
  EXPECT_EQ(form->ComponentNames, expected);
  // Graphic controls are painted in the same order.
  QStringList painted;
  for (TGraphicControl *c : form->GraphicControls())
    painted << c->Name;
  EXPECT_EQ(painted, expected.mid(0, 30));
  EXPECT_EQ(form->windowTitle(), "Zoftrel");
  EXPECT_EQ(form->Color, clOlive);
  EXPECT_EQ(form->lblRedPoints->Caption(), "Red points: 0");
  EXPECT_EQ(form->lblBluePoints->Caption(), "Blue points: 0");
  EXPECT_EQ(form->Label20->Caption(),
            QString::fromUtf8(
                "Blå spiller (På det numeriske tastatur, Num Lock tasten skal være nede):"));
  EXPECT_EQ(form->StatusBar1->SimpleText(), QString::fromUtf8("Rød spillers taster: S, F, E og Z"));
  EXPECT_EQ(form->StatusBar2->SimpleText(),
            QString::fromUtf8("Blå spillers taster: 4, 6, 8 og 0 (numeriske tastatur)"));
  EXPECT_EQ(form->btnStart->Caption(), "Start game");
  EXPECT_EQ(form->cmdAbout->Caption(), "About...");
  EXPECT_EQ(form->btnExit->Caption(), "Exit");
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 50);
  EXPECT_FALSE(form->imgStar->Visible());
  EXPECT_FALSE(form->imgBird->Visible());
  EXPECT_EQ(form->imgStar->Picture().size(), QSize(13, 13));
  EXPECT_EQ(form->imgBird->Picture().size(), QSize(36, 36));
  EXPECT_EQ(form->imgStar->BoundsRect().size(), QSize(11, 11));
  EXPECT_EQ(form->imgBird->BoundsRect().size(), QSize(33, 33));
  EXPECT_FALSE(form->windowIcon().isNull());
}

TEST_F(FormTest, LayoutFollowsTheScreenSize) {
  struct Case {
    Screen screen;
    int w, h, left, top, ballRange;
  };
  for (Case c :
       {Case{{1280, 1024}, 1020, 720, 130, 152, 73}, Case{{1024, 768}, 1004, 708, 10, 30, 72},
        Case{{1050, 780}, 1030, 720, 10, 30, 74}}) {
    SCOPED_TRACE(c.screen.width);
    auto form = MakeForm(c.screen);
    EXPECT_EQ(form->Width(), c.w);
    EXPECT_EQ(form->Height(), c.h);
    EXPECT_EQ(form->Left(), c.left);
    EXPECT_EQ(form->Top(), c.top);
    // No window manager here: the client area is the whole window.
    EXPECT_EQ(form->ClientWidth(), c.w);
    EXPECT_EQ(form->ClientHeight(), c.h);
    EXPECT_EQ(BallRange, c.ballRange);
    EXPECT_EQ(BallCount, 20);
    EXPECT_EQ(PlayerCount, 2);
    EXPECT_EQ(TanksPerPlayer, 3);
    EXPECT_EQ(LineCount, 6);

    const int half = (c.w + 1) / 2; // W is even in all cases
    EXPECT_EQ(form->StatusBar1->geometry(), QRect(0, c.h - 50, half - 50, 26));
    EXPECT_EQ(form->StatusBar2->geometry(), QRect(half + 50, c.h - 50, half - 50, 26));
    EXPECT_EQ(form->btnExit->pos(), QPoint(half - 45, c.h - 50));
    EXPECT_EQ(form->btnStart->pos(), QPoint(half - 111 - 30, c.h - 150));
    EXPECT_EQ(form->cmdAbout->pos(), QPoint(half + 30, c.h - 150));
    EXPECT_EQ(form->lblBluePoints->Left() + form->lblBluePoints->Width(), c.w - 20);
    EXPECT_EQ(form->lblExplane->Left(), qRound((c.w - 390) / 2.0));
    EXPECT_EQ(form->lblExplane->Width(), 390);
    EXPECT_EQ(form->Label21->Left(), half - 250);
    EXPECT_EQ(form->Label18->Left(), half - 250);
    EXPECT_EQ(form->Label19->Left(), half - 180);
    EXPECT_EQ(form->Label20->Left(), half + 50);
    EXPECT_EQ(form->lblLetter->Left(), half + 50);
    EXPECT_EQ(form->Label9->Left(), half + 120);
    // Tops stay as designed.
    EXPECT_EQ(form->Label9->Top(), 378);
    EXPECT_EQ(form->Label10->Top(), 248);
    EXPECT_EQ(form->lblRedPoints->Top(), 4);
  }
}

TEST_F(FormTest, ThePictureIsTheDesignedInstructionScreen) {
  auto form = MakeForm();
  const QImage &img = form->Image();
  const QRgb olive = qRgb(128, 128, 0);
  EXPECT_EQ(img.pixel(5, 200), olive);
  EXPECT_EQ(img.pixel(1000, 600), olive);
  auto count = [&](QRect r, QRgb colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        n += img.pixel(x, y) == colour;
    return n;
  };
  EXPECT_GT(count(form->lblRedPoints->BoundsRect(), qRgb(128, 0, 0)), 20);
  EXPECT_GT(count(form->lblBluePoints->BoundsRect(), qRgb(0, 0, 255)), 20);
  EXPECT_GT(count(form->lblExplane->BoundsRect(), qRgb(0, 0, 0)), 200);
  EXPECT_GT(count(form->Label20->BoundsRect(), qRgb(0, 0, 255)), 100);
  // The wrapped texts end above what follows them: the explanation above
  // the blue heading, the heading above the first row of keys.
  EXPECT_LE(form->lblExplane->Top() + form->lblExplane->Height(), form->Label20->Top());
  EXPECT_LE(form->Label20->Top() + form->Label20->Height(), form->lblLetter->Top());
  // The hidden debug label shows nothing; the red tanks that may stand
  // there are taken away first.
  for (int slot = 1; slot <= 3; ++slot)
    Tanks[1][slot]->Draw(true, false);
  EXPECT_EQ(count(form->lblRedHits->BoundsRect(), qRgb(255, 0, 0)), 0);
}

TEST_F(FormTest, DebugLabelsShowOnlyForTheExactArgumentDebug) {
  for (auto [arg, shown] : {std::pair{"debug", true}, std::pair{"Debug", false},
                            std::pair{"debugx", false}, std::pair{"", false}}) {
    SCOPED_TRACE(arg);
    auto form = MakeForm({1280, 1024}, QString(arg).isEmpty() ? QStringList{} : QStringList{arg});
    EXPECT_EQ(form->lblRedHits->Visible(), shown);
    EXPECT_EQ(form->lblBlueHits->Visible(), shown);
    EXPECT_EQ(form->lblBlackHits->Visible(), shown);
    EXPECT_EQ(form->lblBlueHits->Caption(), "Blue hits: ");
  }
  auto second = MakeForm({1280, 1024}, {"other", "debug"});
  EXPECT_FALSE(second->lblRedHits->Visible());
}

TEST_F(FormTest, TheWindowIsFixedSizeWithoutAMaximiseBox) {
  auto form = MakeForm();
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(FormTest, StartHasTheFocusAndTabVisitsTheButtonsInOrder) {
  auto form = MakeForm();
  form->activateWindow();
  QApplication::processEvents();
  EXPECT_EQ(form->focusWidget(), form->btnStart);
  EXPECT_EQ(form->DefaultButton, form->btnStart);
  for (QWidget *next :
       {static_cast<QWidget *>(form->btnExit), static_cast<QWidget *>(form->cmdAbout),
        static_cast<QWidget *>(form->btnStart)}) {
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(form->focusWidget(), &tab);
    EXPECT_EQ(form->focusWidget(), next);
  }
}

TEST_F(FormTest, EnterOnTheInstructionScreenStartsAGame) {
  auto form = MakeForm();
  form->btnStart->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, 0, 0xFF0D, 0);
  QApplication::sendEvent(form->btnStart, &enter);
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_FALSE(form->btnStart->isVisible());
  EXPECT_EQ(form->btnStart->Caption(), "New game");
  EXPECT_FALSE(form->cmdAbout->isVisible());
  EXPECT_FALSE(form->lblExplane->Visible());
  EXPECT_FALSE(form->Label21->Visible());
  form->Timer1->SetEnabled(false);
}

TEST_F(FormTest, DuringAGameEnterAndSpacePressNoButton) {
  auto form = MakeForm();
  form->activateWindow();
  QApplication::processEvents();
  bool asked = false;
  Application.MessageHook = [&](const QString &, const QString &, TMsgDlgType) {
    asked = true;
    return QMessageBox::No;
  };
  auto type = [&](int key, uint32_t keysym, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent e(t, key, mods, 0, keysym, 0);
      QApplication::sendEvent(QApplication::focusWidget(), &e);
    }
  };
  type(Qt::Key_Space, ' '); // Start game
  ASSERT_TRUE(form->btnStart->isHidden());
  // The hidden button leaves the focus on the window, not on Exit.
  EXPECT_EQ(QApplication::focusWidget(), form.get());
  const int active = Players[1]->Active;
  form->Update();
  const QImage before = form->Image().copy();
  type(Qt::Key_Return, 0xFF0D);
  type(Qt::Key_Space, ' ');
  type(Qt::Key_Enter, 0xFF8D, Qt::KeypadModifier);
  form->Update();
  EXPECT_FALSE(asked);
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_EQ(form->btnStart->Caption(), "New game");
  EXPECT_TRUE(form->btnStart->isHidden());
  EXPECT_EQ(Players[1]->Active, active);
  EXPECT_EQ(form->Image(), before);
  // The game's keys still arrive, and Tab still reaches Exit.
  type(Qt::Key_Z, 'z');
  EXPECT_NE(Players[1]->Active, active);
  type(Qt::Key_Tab, 0xFF09);
  EXPECT_EQ(QApplication::focusWidget(), form->btnExit);
  // Space on Exit asks; after No the focus is back on the window, so the
  // next Return or Space asks nothing.
  type(Qt::Key_Space, ' ');
  EXPECT_TRUE(asked);
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_EQ(QApplication::focusWidget(), form.get());
  asked = false;
  type(Qt::Key_Return, 0xFF0D);
  type(Qt::Key_Space, ' ');
  EXPECT_FALSE(asked);
  // At the game over New game has the focus again.
  for (int i = 0; i < 3; ++i)
    Tanks[2][1]->TakeHit();
  EXPECT_EQ(QApplication::focusWidget(), form->btnStart);
  form->Timer1->SetEnabled(false);
}

TEST_F(FormTest, ExitAsksAndNoKeepsTheTimerAsItWas) {
  auto form = MakeForm();
  QString askedCaption, askedText;
  QMessageBox::StandardButton answer = QMessageBox::No;
  bool timerDuringQuestion = true;
  Application.MessageHook = [&](const QString &caption, const QString &text, TMsgDlgType type) {
    EXPECT_EQ(type, mtConfirmation);
    askedCaption = caption;
    askedText = text;
    timerDuringQuestion = form->Timer1->Enabled();
    return answer;
  };
  form->activateWindow();
  QApplication::processEvents();
  form->btnExit->setFocus(); // as a click gives it
  form->btnExit->click();
  EXPECT_EQ(askedCaption, "Confirm");
  EXPECT_EQ(askedText, QString::fromUtf8("Ønsker du at forlade zoftrel ?"));
  EXPECT_FALSE(form->Timer1->Enabled()); // not running before, so not after
  EXPECT_FALSE(Application.Terminated);
  // Outside a game the button keeps the focus.
  EXPECT_EQ(QApplication::focusWidget(), form->btnExit);

  form->Timer1->SetEnabled(true);
  form->btnExit->click();
  EXPECT_FALSE(timerDuringQuestion);
  EXPECT_TRUE(form->Timer1->Enabled());

  answer = QMessageBox::Yes;
  form->btnExit->click();
  EXPECT_TRUE(Application.Terminated);
  form->Timer1->SetEnabled(false);
}

TEST_F(FormTest, ClosingTheWindowEndsTheProgramWithoutAQuestion) {
  auto form = MakeForm();
  bool asked = false;
  Application.MessageHook = [&](const QString &, const QString &, TMsgDlgType) {
    asked = true;
    return QMessageBox::No;
  };
  form->close();
  EXPECT_TRUE(Application.Terminated);
  EXPECT_FALSE(asked);
}

TEST_F(FormTest, AboutShowsTheBoxModelessAndOkHidesIt) {
  auto form = MakeForm({1024, 768});
  TfrmAbout about;
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.windowTitle(), "Om Zoftrel");
  EXPECT_EQ(about.Color, clBlack);
  EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(about.y(), 129);
  EXPECT_EQ(about.x(), TfrmAbout::CenteredLeft(1024, about.frameGeometry().width()));
  // At 96 pixels per inch the box keeps its designed size, texts and all.
  EXPECT_EQ(QSize(about.ClientWidth(), about.ClientHeight()), QSize(249, 190));
  EXPECT_EQ(about.Button1->geometry(), QRect(94, 142, 54, 25));
  EXPECT_EQ(about.lblversion->Height(), 13);
  EXPECT_EQ(about.lblAuthor->Height(), 26);
  EXPECT_EQ(about.lblversion->Caption(), "Zoftrel version 1.0");
  EXPECT_EQ(about.Button1->Caption(), "OK");

  form->cmdAbout->click();
  EXPECT_TRUE(about.isVisible());
  EXPECT_FALSE(about.isModal());
  const QPoint where = about.pos();

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&about, &escape);
  EXPECT_TRUE(about.isVisible());

  about.Button1->click();
  EXPECT_FALSE(about.isVisible());
  EXPECT_FALSE(Application.Terminated);
  form->cmdAbout->click();
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(about.pos(), where);
  about.close(); // the close box hides it as well
  EXPECT_FALSE(about.isVisible());
}

TEST(AboutBox, CentringRoundsHalvesToEven) {
  EXPECT_EQ(TfrmAbout::CenteredLeft(1024, 255), 384);
  EXPECT_EQ(TfrmAbout::CenteredLeft(1024, 253), 386);
  EXPECT_EQ(TfrmAbout::CenteredLeft(1280, 255), 512);
  EXPECT_EQ(TfrmAbout::Scale(249, 13), 249);
  EXPECT_EQ(TfrmAbout::Scale(13, 16), 16);
}

TEST_F(FormTest, EverySoundIsAPlayableBufferFromTheStart) {
  auto form = MakeForm();
  ASSERT_EQ(form->SfxSoundLib1->Count(), 13);
  EXPECT_EQ(form->SfxAudio1->BufferCount(), 13);
  EXPECT_EQ(form->SfxAudio1->SoundLibrary(), form->SfxSoundLib1.get());
  EXPECT_EQ(form->SfxAudio1->Sound(12)->Volume(), -958);
  for (int i = 0; i < 13; ++i)
    EXPECT_FALSE(form->SfxAudio1->Sound(i)->Playing());
  EXPECT_TRUE(form->BackgroundMusic->Opened);
  EXPECT_FALSE(form->BackgroundMusic->Visible);
  EXPECT_EQ(form->BackgroundMusic->Mode(), mdStopped);
}

TEST_F(FormTest, StartGamePlaysTheStartSoundAndTheMusicFollowsWithinFourTicks) {
  auto form = MakeForm();
  form->SfxAudio1->SetPaused(true); // render by hand from here on
  form->btnStart->click();
  EXPECT_TRUE(form->SfxAudio1->Sound(0)->Playing());
  EXPECT_EQ(form->BackgroundMusic->Mode(), mdStopped);
  form->Timer1->SetEnabled(false); // ticks come from the test
  int ticks = 0;
  while (form->BackgroundMusic->Mode() != mdPlaying && ticks < 10) {
    form->Timer1->Tick();
    ++ticks;
  }
  EXPECT_LE(ticks, 4);
  EXPECT_EQ(form->BackgroundMusic->Mode(), mdPlaying);
}

TEST_F(FormTest, StartUpFailsWithoutTheMusicFileInTheCurrentDirectory) {
  const QString here = QDir::currentPath();
  QTemporaryDir empty;
  ASSERT_TRUE(QDir::setCurrent(empty.path()));
  Application.SetScreenSize(1280, 1024);
  try {
    TForm1 form;
    ADD_FAILURE() << "the window was created";
  } catch (const Exception &e) {
    EXPECT_STREQ(e.ClassName(), "EMCIDeviceError");
    EXPECT_NE(e.Message.find("could not be found"), std::string::npos) << e.Message;
  }
  QDir::setCurrent(here);
  EXPECT_EQ(Form1, nullptr);
}
