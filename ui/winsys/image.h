// A picture drawn at its own size from the control's top-left corner,
// neither stretched nor centred; what lies past the control's width and
// height is not shown.
#pragma once

#include "ui/winsys/graphiccontrol.h"

#include <QImage>

class TImage : public TGraphicControl {
public:
  using TGraphicControl::TGraphicControl;

  void SetPicture(const QImage &picture);
  const QImage &Picture() const { return Bitmap; }

  void Paint(QPainter &painter) override;

private:
  QImage Bitmap;
};
