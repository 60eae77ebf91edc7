#include "ui/winsys/application.h"

#include "rtl/sysutils.h"

#include <QApplication>
#include <QScreen>
#include <new>

TApplication Application;

void TApplication::Terminate() {
  Terminated = true;
  QCoreApplication::quit();
}

void TApplication::Guard(const std::function<void()> &handler) noexcept {
  try {
    try {
      handler();
    } catch (const Exception &e) {
      ShowException(QString::fromStdString(HandlerErrorText(e.Message)));
    } catch (const std::bad_alloc &) {
      ShowException(
          QString::fromStdString(HandlerErrorText(EOutOfMemory("Out of memory").Message)));
    } catch (const std::exception &e) {
      ShowException(QString::fromStdString(HandlerErrorText(e.what())));
    } catch (...) {
      ShowException("Unknown exception.");
    }
  } catch (...) {
    // Showing the error failed as well; there is nothing left to tell.
  }
}

void TApplication::ShowException(const QString &message) {
  MessageDlg(Title, message, mtError, QMessageBox::Ok);
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
