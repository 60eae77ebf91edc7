#include "ui/winsys/graphics.h"

#include <QPainter>
#include <cstdlib>

QColor ToQColor(TColor c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor FromQColor(const QColor &c) {
  return RGBColor(c.red(), c.green(), c.blue());
}

QFont TFont::ToQFont() const {
  QFont f(Name);
  f.setPixelSize(std::abs(Height));
  f.setBold(Bold);
  f.setStyleStrategy(QFont::NoAntialias);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

void TCanvas::Begin(QPainter &p) const {
  p.setRenderHint(QPainter::Antialiasing, false);
  if (!Clip.isEmpty())
    p.setClipRegion(Clip);
}

void TCanvas::Drawn(const QRect &r) {
  QRect touched = r.intersected(Image->rect());
  if (!touched.isEmpty() && OnDrawn)
    OnDrawn(touched);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x2 < x1)
    std::swap(x1, x2);
  if (y2 < y1)
    std::swap(y1, y2);
  if (x2 - x1 < 1 || y2 - y1 < 1)
    return;
  QPainter p(Image);
  Begin(p);
  QPen pen(ToQColor(Pen.Color));
  pen.setWidth(Pen.Width);
  p.setPen(Pen.Width > 0 ? pen : QPen(Qt::NoPen));
  p.setBrush(ToQColor(Brush.Color));
  // An aliased outline covers one pixel more than its box.
  QRect box(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
  p.drawEllipse(box);
  int grow = Pen.Width / 2 + 1;
  Drawn(QRect(x1, y1, x2 - x1, y2 - y1).adjusted(-grow, -grow, grow, grow));
}

void TCanvas::MoveTo(int x, int y) {
  Pos = QPoint(x, y);
}

void TCanvas::LineTo(int x, int y) {
  QPoint to(x, y);
  QPainter p(Image);
  Begin(p);
  QPen pen(ToQColor(Pen.Color));
  pen.setWidth(Pen.Width);
  pen.setCapStyle(Pen.Width > 1 ? Qt::RoundCap : Qt::FlatCap);
  p.setPen(pen);
  p.drawLine(Pos, to);
  int grow = Pen.Width / 2 + 2;
  Drawn(QRect(Pos, to).normalized().adjusted(-grow, -grow, grow, grow));
  Pos = to;
}

void TCanvas::FillRect(const QRect &rect, TColor color) {
  QPainter p(Image);
  Begin(p);
  p.fillRect(rect, ToQColor(color));
  Drawn(rect);
}
