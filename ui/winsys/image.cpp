#include "ui/winsys/image.h"

#include <QPainter>

void TImage::SetPicture(const QImage &picture) {
  Bitmap = picture;
  Invalidate();
}

void TImage::Paint(QPainter &painter) {
  painter.save();
  painter.setClipRect(Bounds, Qt::IntersectClip);
  painter.drawImage(Bounds.topLeft(), Bitmap);
  painter.restore();
}
