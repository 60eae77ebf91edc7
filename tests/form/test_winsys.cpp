// The window-system layer on a bare form: the repaint cycle, the canvas,
// graphic controls and key delivery.
#include "rtl/sysutils.h"
#include "ui/winsys/application.h"
#include "ui/winsys/button.h"
#include "ui/winsys/customform.h"
#include "ui/winsys/image.h"
#include "ui/winsys/keys.h"
#include "ui/winsys/label.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <gtest/gtest.h>

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
