// A push button whose click handler runs inside the error boundary. Enter
// and Space press it while it has the focus.
#pragma once

#include "ui/winsys/graphics.h"

#include <QPushButton>
#include <functional>

class TButton : public QPushButton {
public:
  TButton(QWidget *parent, const QString &name);

  void SetCaption(const QString &caption) { setText(caption); }
  QString Caption() const { return text(); }
  void SetFont(const TFont &font);

  std::function<void()> OnClick;
};
