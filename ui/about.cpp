#include "ui/about.h"
#include "ui/pictures.h"

#include "rtl/sysutils.h"
#include "ui/winsys/application.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

TfrmAbout *frmAbout = nullptr;

TfrmAbout::~TfrmAbout() {
  if (frmAbout == this)
    frmAbout = nullptr;
}

TfrmAbout::TfrmAbout() {
  frmAbout = this;
  setObjectName("frmAbout");
  setWindowTitle("Om Zoftrel");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setWindowIcon(GameIcon());
  Color = clBlack;

  // Designed at 96 pixels per inch for a text height of 13 pixels: the font
  // follows the screen's resolution, then everything follows the font.
  Font = TFont{"MS Sans Serif", -10, clWindowText, false};
  QScreen *screen = QGuiApplication::primaryScreen();
  const int dpi = screen ? Round(screen->logicalDotsPerInch()) : 96;
  if (dpi != 96 && dpi > 0)
    Font.Height = Round(Font.Height * dpi / 96.0);
  const int textHeight = std::max(QFontMetrics(Font.ToQFont()).height(), 1);
  auto s = [textHeight](int v) { return Scale(v, textHeight); };
  if (textHeight != 13)
    Font.Height = -s(-Font.Height);
  QFont qf = Font.ToQFont();
  qf.setStyleStrategy(QFont::PreferDefault);
  setFont(qf);
  SetClientSize(s(249), s(190));
  move(282, 129);

  const TFont labelFont{"MS Sans Serif", -s(11), clWhite, false};
  auto newLabel = [&](const char *name, int l, int t, int w, int h, bool wrap,
                      const QString &text) {
    auto *label = new TLabel(this, name);
    label->SetBounds(s(l), s(t), s(w), s(h));
    label->SetColor(clBlack);
    label->SetWordWrap(wrap);
    label->SetFont(labelFont);
    label->SetCaption(text);
    return label;
  };
  lblversion = newLabel("lblversion", 16, 18, 94, 13, false, "Zoftrel version 1.0");
  lblAuthor = newLabel("lblAuthor", 16, 40, 179, 26, true,
                       "Written by the Zoftrel team, free to copy and share.");
  lblEpost = newLabel("lblEpost", 16, 66, 84, 13, false, "zoftrel@example.org");

  Button1 = new TButton(this, "Button1");
  Button1->setGeometry(s(94), s(142), s(54), s(25));
  Button1->SetCaption("OK");
  Button1->SetFont(Font);
  Button1->OnClick = [this] { Button1Click(); };

  Application.Guard([this] { FormCreate(); });
}

int TfrmAbout::CenteredLeft(int screenWidth, int outerWidth) {
  return Round((screenWidth - outerWidth) * 0.5);
}

// Centres the box horizontally, once, by its outer width; the top edge
// stays where designed. The frame a window manager gives the box is asked
// for now and known by the time the box is first shown, which places it
// again before its window is made.
void TfrmAbout::FormCreate() {
  FrameQuery = std::make_unique<TWindowFrameQuery>(this);
  Centre(QMargins());
}

void TfrmAbout::Centre(const QMargins &frame) {
  const int outerWidth = width() + frame.left() + frame.right();
  move(CenteredLeft(Application.ScreenWidth(), outerWidth), 129);
}

void TfrmAbout::setVisible(bool visible) {
  if (visible && FrameQuery) {
    const QMargins frame = FrameQuery->Frame();
    FrameQuery.reset();
    if (!frame.isNull())
      Centre(frame);
  }
  TCustomForm::setVisible(visible);
}

void TfrmAbout::Show() {
  // Showing and raising a minimised window leaves it minimised: it is
  // restored first, and activated, as the window manager would do it.
  const bool minimised = windowState() & Qt::WindowMinimized;
  if (minimised)
    setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  if (minimised)
    activateWindow();
}

void TfrmAbout::Button1Click() {
  close();
}

// Escape does nothing here: only OK and the close box close the box.
void TfrmAbout::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  TCustomForm::keyPressEvent(event);
}
