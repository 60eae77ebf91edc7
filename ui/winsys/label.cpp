#include "ui/winsys/label.h"

#include "ui/winsys/customform.h"

#include <QFontMetrics>
#include <QPainter>

TLabel::TLabel(TCustomForm *parent, QString name) : TGraphicControl(parent, std::move(name)) {
  LabelFont = parent->Font;
}

void TLabel::SetCaption(const QString &caption) {
  if (caption == Text)
    return;
  Text = caption;
  Invalidate();
  AdjustSize();
}

void TLabel::SetFont(const TFont &font) {
  LabelFont = font;
  Invalidate();
  AdjustSize();
}

void TLabel::SetWordWrap(bool wrap) {
  Wrap = wrap;
  Invalidate();
  AdjustSize();
}

void TLabel::SetAlignment(TAlignment alignment) {
  Align = alignment;
  Invalidate();
}

void TLabel::SetColor(TColor color) {
  OwnColor = true;
  Background = color;
  Invalidate();
}

TColor TLabel::Color() const {
  return OwnColor ? Background : Parent->Color;
}

static int TextFlags(bool wrap, TAlignment align) {
  int flags = Qt::AlignTop | Qt::TextExpandTabs;
  flags |= align == taRightJustify ? Qt::AlignRight
           : align == taCenter     ? Qt::AlignHCenter
                                   : Qt::AlignLeft;
  if (wrap)
    flags |= Qt::TextWordWrap;
  return flags;
}

void TLabel::Loaded() {
  if (SizePending)
    AdjustSize();
}

// While the form's contents are read, a label's font, caption and wrapping
// are set one after the other: it is measured once, when all are known.
void TLabel::AdjustSize() {
  SizePending = Parent->Loading();
  if (SizePending)
    return;
  QFontMetrics fm(LabelFont.ToQFont());
  int w, h;
  if (Wrap) {
    w = Width();
    QRect r = fm.boundingRect(QRect(0, 0, std::max(w, 1), 100000), TextFlags(true, Align), Text);
    h = std::max(r.height(), fm.height());
  } else {
    w = fm.horizontalAdvance(Text);
    h = fm.height();
  }
  int left = Left();
  if (Align == taRightJustify && !Wrap)
    left = Left() + Width() - w;
  SetBounds(left, Top(), w, h);
}

void TLabel::Paint(QPainter &painter) {
  // A glyph's overhang stays inside the label: what a label draws must go
  // when it is hidden.
  painter.save();
  painter.setClipRect(Bounds, Qt::IntersectClip);
  painter.fillRect(Bounds, ToQColor(Color()));
  painter.setFont(LabelFont.ToQFont());
  painter.setPen(ToQColor(LabelFont.Color));
  painter.drawText(Bounds, TextFlags(Wrap, Align), Text);
  painter.restore();
}
