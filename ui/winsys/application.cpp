#include "ui/winsys/application.h"

#include "rtl/sysutils.h"

#include <QApplication>
#include <QScreen>
#include <algorithm>
#include <new>

TApplication Application;

void TApplication::Terminate() {
  Terminated = true;
  QCoreApplication::quit();
}

namespace {
// Runs a handler; the text of the exception that left it, or an empty
// string.
QString RunHandler(const std::function<void()> &handler) {
  try {
    handler();
  } catch (const Exception &e) {
    return QString::fromStdString(HandlerErrorText(e.Message));
  } catch (const std::bad_alloc &) {
    return QString::fromStdString(HandlerErrorText(EOutOfMemory("Out of memory").Message));
  } catch (const std::exception &e) {
    return QString::fromStdString(HandlerErrorText(e.what()));
  } catch (...) {
    return "Unknown exception.";
  }
  return QString();
}
} // namespace

void TApplication::Guard(const std::function<void()> &handler) noexcept {
  try {
    const QString message = RunHandler(handler);
    if (!message.isEmpty())
      ShowException(message);
  } catch (...) {
    // Showing the error failed as well; there is nothing left to tell.
  }
}

void TApplication::GuardLater(const std::function<void()> &handler) noexcept {
  try {
    const QString message = RunHandler(handler);
    if (!message.isEmpty())
      ShowExceptionLater(message);
  } catch (...) {
  }
}

void TApplication::ShowException(const QString &message) {
  Queue(message);
  ShowWaiting();
}

void TApplication::ShowExceptionLater(const QString &message) {
  Queue(message);
  if (ShowPosted)
    return;
  QCoreApplication *app = QCoreApplication::instance();
  if (!app) {
    ShowWaiting();
    return;
  }
  ShowPosted = true;
  QMetaObject::invokeMethod(
      app,
      [this] {
        ShowPosted = false;
        ShowWaiting();
      },
      Qt::QueuedConnection);
}

void TApplication::Queue(const QString &message) {
  if (std::find(Waiting.begin(), Waiting.end(), message) == Waiting.end())
    Waiting.push_back(message);
}

// Shows the waiting errors one box after another; a box that is already
// open shows the rest once it is closed.
void TApplication::ShowWaiting() {
  if (BoxOpen)
    return;
  BoxOpen = true;
  struct Closed {
    bool &Open;
    ~Closed() { Open = false; }
  } closed{BoxOpen};
  while (!Waiting.empty()) {
    const QString message = Waiting.front();
    Waiting.pop_front();
    MessageDlg(Title, message, mtError, QMessageBox::Ok);
  }
}

QMessageBox::StandardButton TApplication::MessageDlg(const QString &caption, const QString &text,
                                                     TMsgDlgType type,
                                                     QMessageBox::StandardButtons buttons) {
  if (MessageHook)
    return MessageHook(caption, text, type);
  QMessageBox::Icon icon = type == mtError          ? QMessageBox::Critical
                           : type == mtWarning      ? QMessageBox::Warning
                           : type == mtConfirmation ? QMessageBox::Question
                           : type == mtInformation  ? QMessageBox::Information
                                                    : QMessageBox::NoIcon;
  QMessageBox box(icon, caption, text, buttons);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

int TApplication::ScreenWidth() const {
  if (ScreenW > 0)
    return ScreenW;
  QScreen *s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 1024;
}

int TApplication::ScreenHeight() const {
  if (ScreenH > 0)
    return ScreenH;
  QScreen *s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 768;
}

void TApplication::SetScreenSize(int width, int height) {
  ScreenW = width;
  ScreenH = height;
}

void TApplication::Beep() {
  ++Beeps;
  QApplication::beep();
}
