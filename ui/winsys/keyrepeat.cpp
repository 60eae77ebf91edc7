#include "ui/winsys/keyrepeat.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>
// The XKB header names a field "explicit", a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace {

// Asks the X server, on the window system's own connection, to send a held
// key's repeats as presses alone.
void UseDetectableAutoRepeat() {
  auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t *c = x11 ? x11->connection() : nullptr;
  if (!c)
    return;
  xcb_xkb_use_extension_reply_t *use =
      xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr);
  const bool hasXkb = use && use->supported;
  std::free(use);
  if (!hasXkb)
    return;
  const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
  std::free(xcb_xkb_per_client_flags_reply(
      c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
}

} // namespace

TKeyRepeat::TKeyRepeat(std::function<void(uint16_t)> repeat) : Repeat(std::move(repeat)) {
  UseDetectableAutoRepeat();
  QCoreApplication::instance()->installNativeEventFilter(this);
}

TKeyRepeat::~TKeyRepeat() {
  if (QCoreApplication *app = QCoreApplication::instance())
    app->removeNativeEventFilter(this);
}

void TKeyRepeat::Pressed(uint32_t window, uint32_t keycode, uint32_t state, uint16_t key) {
  if (keycode >= Held.size())
    return;
  if (window != Window) {
    Clear();
    Window = window;
  }
  Held[keycode] = {key, static_cast<uint16_t>(state)};
}

void TKeyRepeat::Clear() {
  Held.fill({});
}

bool TKeyRepeat::Takes(uint32_t keycode) const {
  return keycode < Held.size() && Held[keycode].Key != 0;
}

bool TKeyRepeat::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
  if (eventType != "xcb_generic_event_t")
    return false;
  auto *event = static_cast<const xcb_generic_event_t *>(message);
  const uint8_t type = event->response_type & 0x7F;
  if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
    return false;
  // Presses and releases share one layout.
  auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
  if (key->event != Window || !Takes(key->detail))
    return false;
  THeld &held = Held[key->detail];
  if (type == XCB_KEY_RELEASE) {
    // Without detectable repeats this is also the release before each
    // repeat; the press after it then goes the usual way.
    held = {};
    return false;
  }
  // A press of a key that is down is a repeat; one under other modifiers
  // or another layout group goes the usual way, to be read afresh.
  if (key->state != held.State)
    return false;
  Repeat(held.Key);
  return true;
}
