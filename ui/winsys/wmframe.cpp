#include "ui/winsys/wmframe.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <xcb/xcb.h>

namespace {

// How long the window manager may still take to answer when the answer is
// needed.
constexpr auto kAnswerWait = std::chrono::milliseconds(250);
constexpr auto kPollInterval = std::chrono::milliseconds(2);

xcb_connection_t *Connection() {
  auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

// Whether a window manager runs that answers frame-extent requests: it
// lists the request among the hints it supports on the root window.
bool ManagerAnswers(xcb_connection_t *c, xcb_window_t root, xcb_atom_t request) {
  const xcb_atom_t supported = Atom(c, "_NET_SUPPORTED");
  xcb_get_property_reply_t *reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
  bool found = false;
  if (reply && reply->format == 32) {
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
    const int n = xcb_get_property_value_length(reply) / 4;
    for (int i = 0; i < n && !found; ++i)
      found = atoms[i] == request;
  }
  std::free(reply);
  return found;
}

// The window's _NET_FRAME_EXTENTS (left, right, top, bottom), once the
// window manager has set it.
bool FrameExtents(xcb_connection_t *c, xcb_window_t window, xcb_atom_t extents, QMargins &frame) {
  xcb_get_property_reply_t *reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
  const bool set = reply && reply->format == 32 && xcb_get_property_value_length(reply) == 16;
  if (set) {
    const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(reply));
    frame = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
  }
  std::free(reply);
  return set;
}

} // namespace

TWindowFrameQuery::TWindowFrameQuery(const QWidget *window) {
  xcb_connection_t *c = Connection();
  if (!c)
    return;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_atom_t request = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
  if (!request || !extents || !ManagerAnswers(c, root, request))
    return;
  Probe = std::make_unique<QWidget>(nullptr, window->windowFlags());
  Probe->setFixedSize(window->size());
  ExtentsAtom = extents;
  // Asked through the root window, the window manager sets the extents it
  // would give the unmapped window.
  xcb_client_message_event_t ask{};
  ask.response_type = XCB_CLIENT_MESSAGE;
  ask.format = 32;
  ask.window = xcb_window_t(Probe->winId());
  ask.type = request;
  xcb_send_event(c, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char *>(&ask));
  xcb_flush(c);
}

TWindowFrameQuery::~TWindowFrameQuery() = default;

QMargins TWindowFrameQuery::Frame() {
  xcb_connection_t *c = Connection();
  if (!Probe || !c)
    return QMargins();
  const auto id = xcb_window_t(Probe->winId());
  QMargins frame;
  const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
  while (!FrameExtents(c, id, ExtentsAtom, frame)) {
    if (std::chrono::steady_clock::now() >= deadline)
      return QMargins();
    std::this_thread::sleep_for(kPollInterval);
  }
  return frame;
}
