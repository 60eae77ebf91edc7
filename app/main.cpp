// The program entry: reads the options, sets the title, creates the main
// window (which makes its About box when it is first asked for), and runs
// the event loop. A failure while the
// main window's contents are built ends the program with the "Application
// Error" box.
#include "app/options.h"
#include "net/netsocket.h"
#include "rtl/sysutils.h"
#include "ui/about.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <unistd.h>

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
// say so in one line rather than leave it to Qt. A platform chosen in
// QT_QPA_PLATFORM (offscreen, say) needs none.
static bool NoDisplay(const char *program) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return false;
  std::fprintf(stderr,
               "%s: no display to show the window on (neither DISPLAY nor "
               "WAYLAND_DISPLAY is set)\n",
               QFileInfo(QString::fromLocal8Bit(program)).fileName().toLocal8Bit().constData());
  return true;
}

// Ctrl+C and SIGTERM end the program the orderly way, as its window's
// close box does: a host's router mapping is deleted on the way out.
static int QuitPipe[2] = {-1, -1};

static void QuitOnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(QuitPipe[1], &byte, 1);
}

static void QuitOnSignals(QObject *parent) {
  if (pipe(QuitPipe) != 0)
    return;
  auto *notifier = new QSocketNotifier(QuitPipe[0], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent, [] { Application.Terminate(); });
  struct sigaction action {};
  action.sa_handler = QuitOnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// --host --reply=CODE: the reply code goes to the host that runs on this
// machine, over loopback; that host checks it with its secret.
static int HandReply(uint16_t port, const std::string &code) {
  TNetSocket probe;
  if (probe.Bind(port)) {
    std::fprintf(stderr,
                 "zoftrel: no host runs on UDP port %u here: start the host first, then "
                 "give it the reply code\n",
                 unsigned(port));
    return 1;
  }
  TNetSocket out;
  sockaddr_in6 to;
  if (!out.Open() || !TNetSocket::Address("127.0.0.1", port, to) ||
      out.Send(reinterpret_cast<const uint8_t *>(code.data()), code.size(), to) < 0) {
    std::fprintf(stderr, "zoftrel: cannot reach the host on port %u\n", unsigned(port));
    return 1;
  }
  std::fprintf(stderr, "zoftrel: the reply code went to the host on port %u\n", unsigned(port));
  return 0;
}

// "Play over the network": host, or join with a code pasted from a chat.
// False when the player cancels.
static bool AskNetwork(TOptions &options) {
  QMessageBox ask(QMessageBox::Question, "Play over the network",
                  "Host a game and give the other player its connect code, or join the game "
                  "of a connect code you were given?");
  QPushButton *host = ask.addButton("Host a game", QMessageBox::AcceptRole);
  QPushButton *join = ask.addButton("Join a game", QMessageBox::AcceptRole);
  ask.addButton(QMessageBox::Cancel);
  ask.exec();
  if (ask.clickedButton() == host) {
    options.Host = true;
    return true;
  }
  if (ask.clickedButton() != join)
    return false;
  QString label = "Connect code:";
  for (;;) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(nullptr, "Join a game", label, QLineEdit::Normal, QString(), &ok);
    if (!ok)
      return false;
    std::string error;
    if (TConnectCode::Parse(text.toStdString(), options.JoinCode, error)) {
      options.Join = true;
      return true;
    }
    label = QString::fromStdString("That is not a connect code: " + error + ".\nConnect code:");
  }
}

int main(int argc, char *argv[]) {
  // Help, the version and a faulty option end the program before it
  // touches the window system.
  TOptions options;
  if (int exitCode; !ReadOptions(argc, argv, options, std::cout, std::cerr, exitCode))
    return exitCode;
  // A reply code for the host that runs here needs no window.
  if (!options.Reply.empty())
    return HandReply(options.Port, options.Reply);
  if (NoDisplay(argc > 0 && argv[0] ? argv[0] : "zoftrel"))
    return 1;
  PreferX11UnderWayland();
  // Qt acts on options of its own in the arguments it is given (-reverse,
  // -geometry, -style, ...): it gets the program's name only, and the
  // arguments are the program's.
  static char fallbackName[] = "zoftrel";
  int qtArgc = 1;
  char *qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setApplicationName("Mervolo");
  Application.Title = "Mervolo";
  Application.ExeName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
  for (int i = 1; i < argc; ++i)
    Application.Params << QString::fromLocal8Bit(argv[i]);

  if (options.Network && !AskNetwork(options))
    return 0;
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
  // The computer plays differently from run to run.
  const auto seed =
      static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
  for (int side = 1; side <= 2; ++side)
    if (options.Computer[side])
      form->PlayComputer(side, options.Level[side], seed + side);
  if (options.Host || options.Join) {
    auto session = std::make_unique<TNetSession>();
    if (!(options.Host ? session->Host(options.Port) : session->Join(options.JoinCode))) {
      std::fprintf(stderr, "zoftrel: %s\n", session->Message.c_str());
      return 1;
    }
    QuitOnSignals(form.get());
    form->CodeBox = options.Network && options.Host;
    form->PlayNetwork(std::move(session));
  }
  if (Application.Terminated)
    return 0;
  return QApplication::exec();
}
