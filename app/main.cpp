// The program entry: sets the title, creates the main window and the About
// box, and runs the event loop. A failure while the main window's contents
// are built ends the program with the "Application Error" box.
#include "rtl/sysutils.h"
#include "ui/about.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <memory>

static int StartUpFailed(const char *className, const void *address, const std::string &message) {
  QString text = QString::fromStdString(
      ApplicationErrorText(className, Application.ExeName.toStdString(), address, message));
  QMessageBox box(QMessageBox::Critical, "Application Error", text, QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  return 1;
}

// Under Wayland a program cannot place its own window, and the game centres
// its window on the screen: in a Wayland session with XWayland at hand, ask
// for Qt's X11 platform unless the user has chosen one.
static void PreferX11UnderWayland() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    return;
  const bool wayland =
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
  if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");
}

// Without any display (started over ssh, say) there is no window to show:
// say so in one line rather than leave it to Qt. A platform chosen on the
// command line or in QT_QPA_PLATFORM (offscreen, say) needs none.
static bool NoDisplay(int argc, char *argv[]) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return false;
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg(argv[i]);
    if (arg == "-platform" || arg == "--platform")
      return false;
  }
  std::fprintf(stderr,
               "%s: no display to show the window on (neither DISPLAY nor "
               "WAYLAND_DISPLAY is set)\n",
               QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit().constData());
  return true;
}

int main(int argc, char *argv[]) {
  if (NoDisplay(argc, argv))
    return 1;
  PreferX11UnderWayland();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Mervolo");
  Application.Title = "Mervolo";
  Application.ExeName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
  for (int i = 1; i < argc; ++i)
    Application.Params << QString::fromLocal8Bit(argv[i]);

  std::unique_ptr<TForm1> form;
  try {
    form = std::make_unique<TForm1>();
  } catch (const Exception &e) {
    return StartUpFailed(e.ClassName(), e.ExceptAddr, e.Message);
  } catch (const std::bad_alloc &) {
    return StartUpFailed("EOutOfMemory", nullptr, "Out of memory");
  } catch (const std::exception &e) {
    return StartUpFailed("Exception", nullptr, e.what());
  }
  auto about = std::make_unique<TfrmAbout>();
  if (Application.Terminated)
    return 0;
  return QApplication::exec();
}
