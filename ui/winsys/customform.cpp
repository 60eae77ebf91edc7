#include "ui/winsys/customform.h"

#include "ui/winsys/application.h"
#include "ui/winsys/graphiccontrol.h"
#include "ui/winsys/keyrepeat.h"
#include "ui/winsys/keys.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

TCustomForm::TCustomForm(QWidget *parent)
    : QWidget(parent), Backing(1, 1, QImage::Format_RGB32), FormCanvas(&Backing),
      Repeats(std::make_unique<TKeyRepeat>(
          [this](uint16_t key) { SourceKeyDown(KeyboardSource, key); })) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  FormCanvas.OnDrawn = [this](const TRect &r) { AddDrawn(TImageCanvas::ToQRect(r)); };
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &TCustomForm::FlushDrawn);
  qApp->installEventFilter(this);
}

TCustomForm::~TCustomForm() {
  qApp->removeEventFilter(this);
  for (auto it = Controls.rbegin(); it != Controls.rend(); ++it)
    delete *it;
}

void TCustomForm::EndLoading() {
  IsLoading = false;
  for (TGraphicControl *control : Controls)
    control->Loaded();
}

void TCustomForm::SetClientSize(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (width == Backing.width() && height == Backing.height() && width == this->width() &&
      height == this->height())
    return;
  if (IsLoading) {
    // Nothing is drawn while the contents are read, and the form is sized
    // again once they are: the image is made then, at the size it keeps.
    setFixedSize(width, height);
    return;
  }
  QImage next(width, height, QImage::Format_RGB32);
  next.fill(ToQColor(Color));
  QPainter(&next).drawImage(0, 0, Backing);
  Backing.swap(next);
  FormCanvas.Image = &Backing;
  setFixedSize(width, height);
  Invalidate();
}

void TCustomForm::SetOuterBounds(int left, int top, int width, int height) {
  Outer = QRect(left, top, width, height);
  ApplyOuterBounds();
}

// Places the client area inside the outer bounds, less the frame a window
// manager draws (known once the window has been shown).
void TCustomForm::ApplyOuterBounds() {
  const QMargins frame = isVisible() ? FrameMargins() : QMargins();
  AppliedFrame = frame;
  SetClientSize(Outer.width() - frame.left() - frame.right(),
                Outer.height() - frame.top() - frame.bottom());
  move(Outer.left(), Outer.top());
}

QMargins TCustomForm::FrameMargins() const {
  const QRect outer = frameGeometry(), client = geometry();
  return QMargins(client.left() - outer.left(), client.top() - outer.top(),
                  outer.right() - client.right(), outer.bottom() - client.bottom());
}

void TCustomForm::SetActiveControl(QWidget *control) {
  if (control)
    control->setFocus(Qt::OtherFocusReason);
}

bool TCustomForm::PressDefaultButton() {
  if (!DefaultButton || !DefaultButton->isVisible() || !DefaultButton->isEnabled())
    return false;
  DefaultButton->click();
  return true;
}

bool TCustomForm::TakesKey(int, uint16_t) const {
  return true;
}

void TCustomForm::SourceKeyDown(int source, uint16_t key) {
  if (!TakesKey(source, key))
    return;
  if (std::find(KeyHolders.begin(), KeyHolders.end(), std::pair(key, source)) == KeyHolders.end())
    KeyHolders.emplace_back(key, source);
  Application.Guard([&] { DoKeyDown(key); });
}

// A release from a source that did not hold the key still goes out while
// nobody else holds it: the keyboard delivers releases of keys pressed
// while another window had the focus.
void TCustomForm::SourceKeyUp(int source, uint16_t key) {
  if (!TakesKey(source, key))
    return;
  auto it = std::find(KeyHolders.begin(), KeyHolders.end(), std::pair(key, source));
  if (it != KeyHolders.end())
    KeyHolders.erase(it);
  if (!KeyHeld(key))
    Application.Guard([&] { DoKeyUp(key); });
}

bool TCustomForm::KeyHeld(uint16_t key) const {
  return std::any_of(KeyHolders.begin(), KeyHolders.end(),
                     [key](const std::pair<uint16_t, int> &h) { return h.first == key; });
}

// Forgets what a source holds without releasing anything.
void TCustomForm::DropHolds(int source) {
  std::erase_if(KeyHolders,
                [source](const std::pair<uint16_t, int> &h) { return h.second == source; });
}

void TCustomForm::InvalidateRect(const QRect &rect) {
  QRect r = rect.intersected(Backing.rect());
  if (r.isEmpty())
    return;
  Invalid += r;
  update(r);
}

void TCustomForm::Invalidate() {
  InvalidateRect(Backing.rect());
}

void TCustomForm::Update() {
  ProcessInvalid();
}

void TCustomForm::AddDrawn(const QRect &rect) {
  // Overlapping rectangles become one; when all places are taken, the
  // rectangle joins the one it grows least.
  for (int i = 0; i < DrawnCount; ++i) {
    if (Drawn[i].intersects(rect.adjusted(-1, -1, 1, 1))) {
      Drawn[i] |= rect;
      return;
    }
  }
  if (DrawnCount < kMaxDrawn) {
    Drawn[DrawnCount++] = rect;
    return;
  }
  int best = 0;
  long long bestGrowth = -1;
  for (int i = 0; i < DrawnCount; ++i) {
    const QRect u = Drawn[i] | rect;
    const long long growth =
        1LL * u.width() * u.height() - 1LL * Drawn[i].width() * Drawn[i].height();
    if (bestGrowth < 0 || growth < bestGrowth) {
      best = i;
      bestGrowth = growth;
    }
  }
  Drawn[best] |= rect;
}

void TCustomForm::FlushDrawn() {
  const int n = DrawnCount;
  DrawnCount = 0;
  for (int i = 0; i < n; ++i)
    update(Drawn[i]);
}

void TCustomForm::AddGraphicControl(TGraphicControl *control) {
  Controls.push_back(control);
}

// The repaint: fill the invalid area with the window colour, let the form
// draw clipped to it, then draw the visible graphic controls over it in
// creation order.
void TCustomForm::ProcessInvalid() {
  if (Invalid.isEmpty())
    return;
  QRegion region = Invalid;
  Invalid = QRegion();
  {
    QPainter p(&Backing);
    p.setClipRegion(region);
    p.fillRect(region.boundingRect(), ToQColor(Color));
  }
  FormCanvas.SetClip(region);
  Application.Guard([this] { DoPaint(); });
  FormCanvas.ClearClip();
  QPainter p(&Backing);
  p.setClipRegion(region);
  for (TGraphicControl *c : Controls) {
    if (c->Visible() && region.intersects(c->BoundsRect()))
      c->Paint(p);
  }
  update(region);
}

void TCustomForm::paintEvent(QPaintEvent *event) {
  ProcessInvalid();
  QPainter p(this);
  for (const QRect &r : event->region())
    p.drawImage(r, Backing, r);
}

void TCustomForm::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  if (Backing.size() != size())
    SetClientSize(width(), height()); // sized only while its contents were read
  Invalidate();
  // A window manager adds its frame once the window is on screen; keep the
  // outer size by giving the client area what the frame leaves.
  if (!Outer.isEmpty()) {
    QTimer::singleShot(100, this, [this] {
      if (FrameMargins() != AppliedFrame)
        ApplyOuterBounds();
    });
  }
}

void TCustomForm::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  // Keys released while another window has the focus never come back to
  // this one: the keyboard stops holding anything here, and the game is
  // told nothing, just as before.
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
    DropHolds(KeyboardSource);
    Repeats->Clear();
  }
  if (event->type() == QEvent::WindowStateChange) {
    auto *e = static_cast<QWindowStateChangeEvent *>(event);
    if ((e->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized))
      Invalidate();
  }
}

void TCustomForm::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  if (width() != Backing.width() || height() != Backing.height())
    SetClientSize(width(), height());
}

bool TCustomForm::OwnsWidget(QObject *object) const {
  auto *w = qobject_cast<QWidget *>(object);
  return w && w->window() == this;
}

// A control hidden while it has the focus leaves the focus on the form
// itself, not on the next control: keys that would press a button (Enter,
// Space) then press none, and the key preview still sees every key.
void TCustomForm::KeepFocusOnHide(QObject *watched) {
  auto *w = qobject_cast<QWidget *>(watched);
  if (!w || w == this || !w->isHidden() || w->window() != this)
    return;
  QWidget *focus = focusWidget();
  if (focus && (focus == w || w->isAncestorOf(focus)))
    setFocus(Qt::OtherFocusReason);
}

bool TCustomForm::eventFilter(QObject *watched, QEvent *event) {
  QEvent::Type type = event->type();
  if (type == QEvent::Hide)
    KeepFocusOnHide(watched);
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
    return false;
  // A key event travels from the focused control up to the window; take it
  // once, at its first stop, and only for this window.
  if (!OwnsWidget(watched))
    return false;
  QWidget *focus = QApplication::focusWidget();
  if (focus && focus->window() == this ? watched != focus : watched != this)
    return false;
  auto *key = static_cast<QKeyEvent *>(event);
  // Auto-repeat gives repeated key-downs only: X inserts a release before
  // every repeat, which a held key never sends.
  if (type == QEvent::KeyRelease && key->isAutoRepeat())
    return true;
  uint16_t vk = VirtualKeyFromEvent(*key);
  if (KeyPreview && vk != 0) {
    if (type == QEvent::KeyPress) {
      SourceKeyDown(KeyboardSource, vk);
      // The game's keys mean nothing to the buttons: their repeats can go
      // straight to the form.
      if ((vk >= 'A' && vk <= 'Z') || (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9))
        Repeats->Pressed(static_cast<uint32_t>(internalWinId()), key->nativeScanCode(),
                         key->nativeModifiers(), vk);
    } else
      SourceKeyUp(KeyboardSource, vk);
  }
  if (type == QEvent::KeyPress && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    if (!qobject_cast<QPushButton *>(focus) && PressDefaultButton())
      return true;
  }
  return false;
}
