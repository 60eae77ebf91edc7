// A one-line status bar showing a single text (simple mode, no panels),
// placed freely, without a size grip.
#pragma once

#include "ui/winsys/graphics.h"

#include <QStatusBar>

class TStatusBar : public QStatusBar {
public:
  TStatusBar(QWidget *parent, const QString &name);

  void SetSimpleText(const QString &text) { showMessage(text); }
  QString SimpleText() const { return currentMessage(); }
  void SetFont(const TFont &font);
};
