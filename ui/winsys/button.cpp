#include "ui/winsys/button.h"

#include "ui/winsys/application.h"

TButton::TButton(QWidget *parent, const QString &name) : QPushButton(parent) {
  setObjectName(name);
  setAutoDefault(true);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QPushButton::clicked, [this] {
    if (OnClick)
      Application.Guard(OnClick);
  });
}

void TButton::SetFont(const TFont &font) {
  QFont f = font.ToQFont();
  f.setStyleStrategy(QFont::PreferDefault);
  setFont(f);
}
