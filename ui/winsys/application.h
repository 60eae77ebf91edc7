// Application-wide services of the window system: the title, ending the
// program, the error boundary around every event handler, message boxes,
// the screen size and the beep.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
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
  // The same for a handler whose event must not wait for the box (the
  // timer's: its ticks go on while the box is open). The box opens from the
  // event loop once the handler has returned.
  void GuardLater(const std::function<void()> &handler) noexcept;
  // One error box at a time: an error that comes while a box is open gets
  // its own box once that one is closed, in the order they came. An error
  // already waiting for its box is not queued twice, so a fault that
  // repeats every tick gives one box after another, never a pile.
  void ShowException(const QString &message);
  void ShowExceptionLater(const QString &message);
  // Errors waiting for their box.
  int PendingErrors() const { return int(Waiting.size()); }

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
  void Queue(const QString &message);
  void ShowWaiting();

  int ScreenW = 0, ScreenH = 0;
  std::deque<QString> Waiting;
  bool BoxOpen = false;
  bool ShowPosted = false;
};

extern TApplication Application;
