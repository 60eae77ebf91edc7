// A top-level window that the program draws on directly. Its client area
// is a backing image: drawings stay until drawn over or repainted. Labels
// and pictures are drawn into the image in creation order; buttons and
// status bars are real widgets above it.
#pragma once

#include "ui/winsys/graphics.h"

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QPushButton;
class TGraphicControl;
class TKeyRepeat;

class TCustomForm : public QWidget {
  Q_OBJECT

public:
  explicit TCustomForm(QWidget *parent = nullptr);
  ~TCustomForm() override;

  TColor Color = clOlive;
  TFont Font;
  // The form's key handlers see every key before the focused control.
  bool KeyPreview = false;
  // Enter presses this button while the focus is not on another button.
  QPushButton *DefaultButton = nullptr;

  TImageCanvas *Canvas() { return &FormCanvas; }
  const QImage &Image() const { return Backing; }

  int ClientWidth() const { return Backing.width(); }
  int ClientHeight() const { return Backing.height(); }
  void SetClientSize(int width, int height);

  // The outer bounds, frame and caption included. Without a window manager
  // there is no frame and the client area is the outer size itself.
  int Left() const { return Outer.left(); }
  int Top() const { return Outer.top(); }
  int Width() const { return Outer.width(); }
  int Height() const { return Outer.height(); }
  void SetOuterBounds(int left, int top, int width, int height);

  void SetActiveControl(QWidget *control);
  // Clicks the default button when it is on view and enabled; says whether
  // it did.
  bool PressDefaultButton();

  // Key sources. The keyboard is source 0; other inputs (gamepads, the
  // computer player) hold keys under numbers of their own. Every press
  // reaches the key-down handler, so a press of a key that another source
  // already holds acts as an auto-repeat; the key-up handler runs when the
  // last holder lets go.
  static constexpr int KeyboardSource = 0;
  void SourceKeyDown(int source, uint16_t key);
  void SourceKeyUp(int source, uint16_t key);
  // Whether any source holds the key.
  bool KeyHeld(uint16_t key) const;
  // Whether a source's presses and releases of a key reach the form; a
  // key it does not take is not counted as held either.
  virtual bool TakesKey(int source, uint16_t key) const;

  // Marks an area for repainting; the repaint runs when the event queue is
  // next idle, like a window system's paint message.
  void InvalidateRect(const QRect &rect);
  void Invalidate();
  // Processes pending repaints now.
  void Update();
  const QRegion &InvalidRegion() const { return Invalid; }

  // Hands the rectangles drawn since the last call to the screen. Runs by
  // itself whenever the event loop has no more events to handle, so a
  // tick's drawings reach the screen together.
  void FlushDrawn();

  void AddGraphicControl(TGraphicControl *control);
  // Between the two the form's contents are read, and controls put off
  // their measuring (and the form the making of its image); EndLoading
  // then has each finish, in creation order.
  void BeginLoading() { IsLoading = true; }
  void EndLoading();
  bool Loading() const { return IsLoading; }
  const std::vector<TGraphicControl *> &GraphicControls() const { return Controls; }

protected:
  // The form's handlers; they run inside the application's error boundary.
  virtual void DoPaint() {}
  virtual void DoKeyDown(uint16_t &) {}
  virtual void DoKeyUp(uint16_t &) {}

  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void changeEvent(QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void ProcessInvalid();
  void ApplyOuterBounds();
  // What the window manager's frame adds around the client area.
  QMargins FrameMargins() const;
  bool OwnsWidget(QObject *object) const;
  void KeepFocusOnHide(QObject *watched);
  // Gathers a drawn rectangle into the few that wait for FlushDrawn.
  void AddDrawn(const QRect &rect);
  void DropHolds(int source);

  QImage Backing;
  TImageCanvas FormCanvas;
  QRegion Invalid;
  QRect Outer;
  QMargins AppliedFrame;
  std::vector<TGraphicControl *> Controls;
  bool IsLoading = false;
  static constexpr int kMaxDrawn = 32;
  QRect Drawn[kMaxDrawn];
  int DrawnCount = 0;
  // Which source holds which key; a handful of entries at most.
  std::vector<std::pair<uint16_t, int>> KeyHolders;
  // The keyboard's repeats of held keys.
  std::unique_ptr<TKeyRepeat> Repeats;
};
