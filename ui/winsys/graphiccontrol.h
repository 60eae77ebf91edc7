// Controls without a window of their own: they are drawn into the form's
// backing image in creation order, and any change invalidates their old
// and new rectangles.
#pragma once

#include <QRect>
#include <QString>

class QPainter;
class TCustomForm;

class TGraphicControl {
public:
  TGraphicControl(TCustomForm *parent, QString name);
  virtual ~TGraphicControl() = default;
  TGraphicControl(const TGraphicControl &) = delete;
  TGraphicControl &operator=(const TGraphicControl &) = delete;

  const QString Name;

  int Left() const { return Bounds.left(); }
  int Top() const { return Bounds.top(); }
  int Width() const { return Bounds.width(); }
  int Height() const { return Bounds.height(); }
  QRect BoundsRect() const { return Bounds; }
  bool Visible() const { return IsVisible; }

  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
  void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  // Draws the control into the form's image; the painter is clipped to the
  // area being repainted.
  virtual void Paint(QPainter &painter) = 0;
  // The form's contents have all been read: work put off while they were
  // (a label's measuring) is done now.
  virtual void Loaded() {}

protected:
  void Invalidate();

  TCustomForm *Parent;
  QRect Bounds;
  bool IsVisible = true;
};
