// The About box: a small black window that names the game and its
// version and credits its makers. Created hidden when the main window's
// About... button is first clicked, which shows it modeless and on top.
#pragma once

#include "ui/winsys/button.h"
#include "ui/winsys/customform.h"
#include "ui/winsys/label.h"
#include "ui/winsys/wmframe.h"

#include <memory>

class TfrmAbout : public TCustomForm {
  Q_OBJECT

public:
  TfrmAbout();
  ~TfrmAbout() override;

  TLabel *lblversion, *lblAuthor, *lblEpost;
  TButton *Button1;

  void FormCreate();
  void Button1Click();
  // Makes the box visible, normal again if it was minimised, and brings it
  // to the front. A box that comes back from minimised is also made the
  // active window, where it was before.
  void Show();

  // The left edge that centres a box of the given outer width on a screen.
  static int CenteredLeft(int screenWidth, int outerWidth);
  // The factor positions, sizes and fonts are scaled by, for a font whose
  // text height is `textHeight` (the box is designed for 13).
  static int Scale(int value, int textHeight) { return (value * textHeight + 6) / 13; }

  // The first showing places the box by the frame the window manager
  // gives it.
  void setVisible(bool visible) override;

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  void Centre(const QMargins &frame);

  std::unique_ptr<TWindowFrameQuery> FrameQuery;
};

extern TfrmAbout *frmAbout;
