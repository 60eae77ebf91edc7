#include "ui/winsys/graphiccontrol.h"

#include "ui/winsys/customform.h"

TGraphicControl::TGraphicControl(TCustomForm *parent, QString name)
    : Name(std::move(name)), Parent(parent) {
  Parent->AddGraphicControl(this);
}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
  QRect next(left, top, width, height);
  if (next == Bounds)
    return;
  Invalidate();
  Bounds = next;
  Invalidate();
}

void TGraphicControl::SetVisible(bool visible) {
  if (visible == IsVisible)
    return;
  IsVisible = visible;
  Invalidate();
}

void TGraphicControl::Invalidate() {
  if (!Bounds.isEmpty())
    Parent->InvalidateRect(Bounds);
}
