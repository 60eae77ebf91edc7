// A text label: opaque, auto-sized to its text, optionally word-wrapped
// within its width and right-aligned (keeping its right edge).
#pragma once

#include "ui/winsys/graphiccontrol.h"
#include "ui/winsys/graphics.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TGraphicControl {
public:
  TLabel(TCustomForm *parent, QString name);

  const QString &Caption() const { return Text; }
  void SetCaption(const QString &caption);
  const TFont &Font() const { return LabelFont; }
  void SetFont(const TFont &font);
  void SetWordWrap(bool wrap);
  bool WordWrap() const { return Wrap; }
  void SetAlignment(TAlignment alignment);
  TAlignment Alignment() const { return Align; }
  // The background; a label without a colour of its own takes the form's.
  void SetColor(TColor color);
  TColor Color() const;

  void Paint(QPainter &painter) override;
  void Loaded() override;

private:
  void AdjustSize();

  QString Text;
  TFont LabelFont;
  bool Wrap = false;
  TAlignment Align = taLeftJustify;
  bool OwnColor = false;
  TColor Background = 0;
  bool SizePending = false; // measured once the form's contents are read
};
