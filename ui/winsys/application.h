// Application-wide services of the window system: the title, ending the
// program, the error boundary around every event handler, message boxes,
// the screen size and the beep.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

class TApplication {
public:
  // The caption of the task-bar entry and of error boxes.
  QString Title;
  // The program's file name without its directory.
  QString ExeName = "zoftrel";
  // The command-line arguments after the program name.
  QStringList Params;
  // Argument i (1-based), or an empty string when there is none.
  QString ParamStr(int i) const { return i >= 1 && i <= Params.size() ? Params[i - 1] : QString(); }

  // Ends the event loop; the process then exits.
  void Terminate();
  bool Terminated = false;

  // Runs an event handler. An exception that leaves it is shown in an
  // error box captioned with the title and the program carries on: no
  // exception ever unwinds through the window system.
  void Guard(const std::function<void()> &handler) noexcept;
  void ShowException(const QString &message);

  // A modal message box; returns the button pressed.
  QMessageBox::StandardButton MessageDlg(const QString &caption, const QString &text,
                                         TMsgDlgType type, QMessageBox::StandardButtons buttons);
  // Tests answer message boxes through this instead of a real box.
  std::function<QMessageBox::StandardButton(const QString &caption, const QString &text,
                                            TMsgDlgType type)>
      MessageHook;

  int ScreenWidth() const;
  int ScreenHeight() const;
  // Tests lay the window out for any screen size.
  void SetScreenSize(int width, int height);

  void Beep();
  int Beeps = 0;

private:
  int ScreenW = 0, ScreenH = 0;
};

extern TApplication Application;
