#include "ui/winsys/statusbar.h"

#include <QPalette>

TStatusBar::TStatusBar(QWidget *parent, const QString &name) : QStatusBar(parent) {
  setObjectName(name);
  setSizeGripEnabled(false);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(240, 240, 240));
  setPalette(pal);
}

void TStatusBar::SetFont(const TFont &font) {
  QFont f = font.ToQFont();
  f.setStyleStrategy(QFont::PreferDefault);
  setFont(f);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, ToQColor(font.Color));
  setPalette(pal);
}
