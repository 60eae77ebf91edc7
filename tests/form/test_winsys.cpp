// The window-system layer on a bare form: the repaint cycle, the canvas,
// graphic controls and key delivery.
#include "rtl/sysutils.h"
#include "ui/winsys/application.h"
#include "ui/winsys/button.h"
#include "ui/winsys/customform.h"
#include "ui/winsys/fontfaces.h"
#include "ui/winsys/image.h"
#include "ui/winsys/keys.h"
#include "ui/winsys/label.h"
#include "ui/winsys/timer.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace {

class TestForm : public TCustomForm {
public:
  TestForm() {
    KeyPreview = true;
    SetClientSize(300, 200);
    show();
    Update();
  }
  std::vector<QRegion> PaintClips;
  std::vector<std::pair<char, uint16_t>> Keys;
  std::function<void()> PaintAction;

protected:
  void DoPaint() override {
    PaintClips.push_back(InvalidPaintRegion());
    if (PaintAction)
      PaintAction();
  }
  void DoKeyDown(uint16_t &key) override { Keys.push_back({'d', key}); }
  void DoKeyUp(uint16_t &key) override { Keys.push_back({'u', key}); }

private:
  // While the form paints, the canvas is clipped to the area being
  // repainted: draw a full-window rectangle and see where it lands.
  QRegion InvalidPaintRegion() {
    QImage before = Image().copy();
    Canvas()->FillRect(QRect(0, 0, ClientWidth(), ClientHeight()), clWhite);
    QRegion touched;
    for (int y = 0; y < ClientHeight(); ++y)
      for (int x = 0; x < ClientWidth(); ++x)
        if (Image().pixel(x, y) == qRgb(255, 255, 255))
          touched += QRect(x, y, 1, 1);
    Canvas()->FillRect(QRect(0, 0, ClientWidth(), ClientHeight()), Color);
    return touched;
  }
};

QKeyEvent KeyEvent(QEvent::Type type, int key, Qt::KeyboardModifiers mods, uint32_t keysym,
                   bool autoRepeat = false) {
  return QKeyEvent(type, key, mods, 0, keysym, 0, QString(), autoRepeat);
}

// Runs the event loop for a while, as a modal box does.
void RunEventsFor(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

} // namespace

TEST(Repaint, ACaptionChangeRepaintsOnlyTheLabelsRectangle) {
  TestForm form;
  auto &label = *new TLabel(&form, "lbl");
  label.SetBounds(20, 30, 50, 20);
  label.SetCaption("Hello");
  form.Update();
  form.PaintClips.clear();

  QRect old = label.BoundsRect();
  label.SetCaption("Hello, world");
  QRect grown = label.BoundsRect();
  EXPECT_EQ(grown.topLeft(), old.topLeft());
  EXPECT_GT(grown.width(), old.width());
  EXPECT_EQ(form.InvalidRegion(), QRegion(old) + QRegion(grown));
  form.Update();
  ASSERT_EQ(form.PaintClips.size(), 1u);
  EXPECT_EQ(form.PaintClips[0], QRegion(old) + QRegion(grown));
  EXPECT_TRUE(form.InvalidRegion().isEmpty());
}

TEST(Repaint, ARightAlignedLabelKeepsItsRightEdge) {
  TestForm form;
  auto *label = new TLabel(&form, "lbl");
  label->SetBounds(100, 4, 114, 25);
  label->SetAlignment(taRightJustify);
  label->SetCaption("Blue points: 0");
  const int right = label->BoundsRect().right();
  label->SetCaption("Blå spillers point: 12");
  EXPECT_EQ(label->BoundsRect().right(), right);
  label->SetCaption("1");
  EXPECT_EQ(label->BoundsRect().right(), right);
  EXPECT_LT(label->Width(), 30);
}

TEST(Repaint, AWordWrappingLabelKeepsItsWidth) {
  TestForm form;
  auto *label = new TLabel(&form, "lbl");
  label->SetBounds(10, 10, 120, 20);
  label->SetWordWrap(true);
  label->SetCaption("a rather long text that cannot fit on one line of this label");
  EXPECT_EQ(label->Width(), 120);
  EXPECT_GT(label->Height(), 2 * QFontMetrics(label->Font().ToQFont()).height() - 1);
}

TEST(Repaint, LabelsArePaintedOverTheFormInCreationOrder) {
  TestForm form;
  form.PaintAction = [&] {
    form.Canvas()->Brush.Color = clRed;
    form.Canvas()->Pen.Color = clRed;
    form.Canvas()->Ellipse(0, 0, 300, 200);
  };
  auto *first = new TLabel(&form, "first");
  first->SetBounds(100, 90, 10, 10);
  first->SetColor(clBlue);
  first->SetCaption("  ");
  auto *second = new TLabel(&form, "second");
  second->SetBounds(100, 90, 10, 10);
  second->SetColor(clBlack);
  second->SetCaption(" ");
  form.Invalidate();
  form.Update();
  EXPECT_EQ(form.Image().pixel(101, 91), qRgb(0, 0, 0)); // second on top
  EXPECT_EQ(form.Image().pixel(first->BoundsRect().right() - 1, 91), qRgb(0, 0, 255));
  EXPECT_EQ(form.Image().pixel(150, 150), qRgb(255, 0, 0)); // the form's own drawing
  second->Hide();
  form.Update();
  EXPECT_EQ(form.Image().pixel(101, 91), qRgb(0, 0, 255));
}

TEST(Repaint, APictureShowsOnlyWhatFitsItsFrame) {
  TestForm form;
  auto *img = new TImage(&form, "img");
  QImage picture(13, 13, QImage::Format_RGB32);
  picture.fill(qRgb(10, 20, 30));
  img->SetBounds(50, 50, 11, 11);
  img->SetPicture(picture);
  form.Update();
  EXPECT_EQ(form.Image().pixel(60, 60), qRgb(10, 20, 30));
  EXPECT_EQ(form.Image().pixel(61, 61), ToQColor(clOlive).rgb());
  EXPECT_EQ(form.Image().pixel(62, 55), ToQColor(clOlive).rgb());
}

TEST(Keys, PreviewSeesKeysBeforeTheFocusedButton) {
  TestForm form;
  auto *button = new TButton(&form, "b");
  int clicks = 0;
  button->OnClick = [&] { ++clicks; };
  button->setFocus();
  auto press = KeyEvent(QEvent::KeyPress, Qt::Key_F, Qt::NoModifier, 'f');
  QApplication::sendEvent(button, &press);
  auto release = KeyEvent(QEvent::KeyRelease, Qt::Key_F, Qt::NoModifier, 'f');
  QApplication::sendEvent(button, &release);
  ASSERT_EQ(form.Keys.size(), 2u);
  EXPECT_EQ(form.Keys[0], std::make_pair('d', uint16_t(70)));
  EXPECT_EQ(form.Keys[1], std::make_pair('u', uint16_t(70)));
  auto space = KeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, ' ');
  QApplication::sendEvent(button, &space);
  auto spaceUp = KeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, ' ');
  QApplication::sendEvent(button, &spaceUp);
  EXPECT_EQ(clicks, 1); // the key still reaches the button
}

TEST(Keys, AutoRepeatGivesRepeatedKeyDownsAndOneRelease) {
  TestForm form;
  const uint32_t kp6 = 0xFFB6;
  auto send = [&](QEvent::Type t, bool rep) {
    auto e = KeyEvent(t, Qt::Key_6, Qt::KeypadModifier, kp6, rep);
    QApplication::sendEvent(&form, &e);
  };
  send(QEvent::KeyPress, false);
  for (int i = 0; i < 3; ++i) {
    send(QEvent::KeyRelease, true);
    send(QEvent::KeyPress, true);
  }
  send(QEvent::KeyRelease, false);
  std::vector<std::pair<char, uint16_t>> expected(4, {'d', 102});
  expected.push_back({'u', 102});
  EXPECT_EQ(form.Keys, expected);
}

// What the X server sends while a key is held, as the window system's
// native event filters see it: presses alone, then one release.
struct XKey {
  uint8_t Type;
  uint8_t Code;
  uint16_t State;
  uint32_t Window;
};
// Whether the form took the event itself (the window system then never
// sees it).
bool SendX(const XKey &k) {
  xcb_key_press_event_t e{};
  e.response_type = k.Type;
  e.detail = k.Code;
  e.state = k.State;
  e.event = k.Window;
  qintptr result = 0;
  return QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &e,
                                                                 &result);
}

TEST(Keys, RepeatsOfAHeldGameKeyGoStraightToTheFormUntilItIsLetGo) {
  TestForm form;
  const auto win = static_cast<uint32_t>(form.internalWinId());
  ASSERT_NE(win, 0u);
  // Keypad 6 is X key code 85; with Num Lock on, its state has Mod2 (0x10).
  const uint8_t kp6 = 85, enter = 36;
  const uint16_t numLock = 0x10, shift = 0x01;
  auto qtPress = [&](int key, Qt::KeyboardModifiers mods, uint8_t code, uint32_t keysym) {
    QKeyEvent e(QEvent::KeyPress, key, mods, code, keysym, numLock);
    QApplication::sendEvent(&form, &e);
  };
  // Before the window system has delivered the press, a press is its own.
  EXPECT_FALSE(SendX({XCB_KEY_PRESS, kp6, numLock, win}));
  qtPress(Qt::Key_6, Qt::KeypadModifier, kp6, 0xFFB6);
  EXPECT_TRUE(SendX({XCB_KEY_PRESS, kp6, numLock, win}));
  EXPECT_TRUE(SendX({XCB_KEY_PRESS, kp6, numLock, win}));
  // Under other modifiers the key may mean another thing: the window
  // system reads it afresh. So it does for another window.
  EXPECT_FALSE(SendX({XCB_KEY_PRESS, kp6, numLock | shift, win}));
  EXPECT_FALSE(SendX({XCB_KEY_PRESS, kp6, numLock, win + 1}));
  // The release goes the usual way, and the key's next press after it too.
  EXPECT_FALSE(SendX({XCB_KEY_RELEASE, kp6, numLock, win}));
  EXPECT_FALSE(SendX({XCB_KEY_PRESS, kp6, numLock, win}));
  std::vector<std::pair<char, uint16_t>> expected(3, {'d', 102});
  EXPECT_EQ(form.Keys, expected);

  // Enter presses buttons: all its presses go through the window system.
  qtPress(Qt::Key_Return, Qt::NoModifier, enter, 0xFF0D);
  EXPECT_FALSE(SendX({XCB_KEY_PRESS, enter, numLock, win}));
  EXPECT_EQ(form.Keys.size(), 4u);

  // A key held while another window takes the keyboard is let go there:
  // its next press here is a new one.
  QApplication::setActiveWindow(&form);
  qtPress(Qt::Key_6, Qt::KeypadModifier, kp6, 0xFFB6);
  EXPECT_TRUE(SendX({XCB_KEY_PRESS, kp6, numLock, win}));
  TestForm other;
  QApplication::setActiveWindow(&other);
  EXPECT_FALSE(SendX({XCB_KEY_PRESS, kp6, numLock, win}));
  EXPECT_EQ(form.Keys.size(), 6u);
}

TEST(Keys, EnterPressesTheDefaultButtonUnlessAnotherButtonHasTheFocus) {
  TestForm form;
  auto *def = new TButton(&form, "def");
  auto *other = new TButton(&form, "other");
  int defClicks = 0, otherClicks = 0;
  def->OnClick = [&] { ++defClicks; };
  other->OnClick = [&] { ++otherClicks; };
  form.DefaultButton = def;
  def->show();
  other->show();
  def->setFocus();
  auto enter = KeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, 0xFF0D);
  QApplication::sendEvent(def, &enter);
  EXPECT_EQ(defClicks, 1);
  other->setFocus();
  QApplication::sendEvent(other, &enter);
  EXPECT_EQ(defClicks, 1);
  EXPECT_EQ(otherClicks, 1);
}

TEST(ErrorBoundary, AnExceptionInAHandlerIsShownAndTheProgramGoesOn) {
  std::vector<QString> shown;
  Application.MessageHook = [&](const QString &caption, const QString &text, TMsgDlgType type) {
    EXPECT_EQ(caption, "Mervolo");
    EXPECT_EQ(type, mtError);
    shown.push_back(text);
    return QMessageBox::Ok;
  };
  Application.Guard([] { throw Exception("Play Failed"); });
  Application.Guard([] { throw Exception("Stop!"); });
  Application.Guard([] { throw std::bad_alloc(); });
  bool ran = false;
  Application.Guard([&] { ran = true; });
  Application.MessageHook = nullptr;
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Play Failed.");
  EXPECT_EQ(shown[1], "Stop!");
  EXPECT_EQ(shown[2], "Out of memory.");
  EXPECT_TRUE(ran);
}

TEST(ErrorBoundary, AnErrorInATickIsShownAfterItWhileTheTicksGoOnOneBoxAtATime) {
  TTimer timer;
  int ticks = 0, depth = 0, deepest = 0;
  timer.OnTimer = [&] {
    ++ticks;
    // Tick 1 fails; so do ticks 3 to 8 again and again, and tick 5 in
    // another way, all while the first box is open.
    if (ticks == 1 || (ticks >= 3 && ticks <= 8 && ticks != 5))
      throw Exception("Play Failed");
    if (ticks == 5)
      throw Exception("Stop Failed");
  };
  std::vector<std::string> shown;
  std::vector<int> ticksUnderBox;
  Application.MessageHook = [&](const QString &, const QString &text, TMsgDlgType) {
    shown.push_back(text.toStdString());
    deepest = std::max(deepest, ++depth);
    // A modal box runs the event loop until it is closed: here until ten
    // more ticks have come.
    const int from = ticks;
    QElapsedTimer clock;
    clock.start();
    while (ticks < from + 10 && clock.elapsed() < 2000)
      RunEventsFor(5);
    ticksUnderBox.push_back(ticks - from);
    --depth;
    return QMessageBox::Ok;
  };
  timer.SetInterval(10);
  timer.SetEnabled(true);
  QElapsedTimer clock;
  clock.start();
  while (shown.size() < 3 && clock.elapsed() < 10000)
    RunEventsFor(5);
  timer.SetEnabled(false);
  QApplication::processEvents();
  Application.MessageHook = nullptr;
  const std::vector<std::string> expected = {"Play Failed.", "Play Failed.", "Stop Failed."};
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(deepest, 1);
  ASSERT_EQ(ticksUnderBox.size(), 3u);
  for (int n : ticksUnderBox)
    EXPECT_GE(n, 10); // (a box that held up the ticks would see none)
  EXPECT_EQ(Application.PendingErrors(), 0);
}

TEST(Keys, KeysTypedIntoAnotherWindowNeverReachTheForm) {
  TestForm game;
  TestForm other;
  other.KeyPreview = false;
  auto *button = new TButton(&other, "ok");
  button->setFocus();
  auto press = KeyEvent(QEvent::KeyPress, Qt::Key_S, Qt::NoModifier, 's');
  QApplication::sendEvent(button, &press);
  QApplication::sendEvent(&other, &press);
  EXPECT_TRUE(game.Keys.empty());
  EXPECT_TRUE(other.Keys.empty());
}

// The bitmap faces the windows use, with the text height the designed
// face gives at 96 pixels per inch: the stand-in face must give the same.
TEST(Fonts, StandInFacesHaveTheDesignedTextHeights) {
  const struct {
    TFont Font;
    int TextHeight;
  } fonts[] = {
      {{"System", -16, clWindowText, false}, 20},
      {{"System", -17, clRed, true}, 20},
      {{"MS Sans Serif", -10, clWindowText, false}, 13},
      {{"MS Sans Serif", -11, clWhite, false}, 13},
  };
  for (const auto &f : fonts) {
    SCOPED_TRACE(f.Font.Name.toStdString() + " " + std::to_string(f.Font.Height));
    EXPECT_EQ(DesignedTextHeight(f.Font.Name, f.Font.Height, 96), f.TextHeight);
    EXPECT_EQ(QFontMetrics(f.Font.ToQFont()).height(), f.TextHeight);
  }
}

// "MS Sans Serif" comes in six sizes; a screen of 120 pixels per inch has
// them a quarter larger: its 10-pixel font is 8 points with 16 pixels of
// text, which makes the About box a quarter larger there.
TEST(Fonts, TheAboutBoxFaceFollowsTheScreensPixelsPerInch) {
  EXPECT_EQ(DesignedTextHeight("MS Sans Serif", -13, 96), 16);
  EXPECT_EQ(DesignedTextHeight("MS Sans Serif", -12, 120), 16);
  EXPECT_EQ(DesignedTextHeight("MS Sans Serif", -14, 120), 16);
  EXPECT_EQ(DesignedTextHeight("MS Sans Serif", -16, 120), 20);
  EXPECT_EQ(DesignedTextHeight("Comic Sans MS", -17, 96), 0) << "character height";
}
