// Held keys as the X server repeats them. The server is asked to send a
// held key's repeats as presses alone, without the release it otherwise
// puts before each one, so that a release always means the key was let go.
// The repeats of keys the form has taken then go straight to it, ahead of
// the window system's key handling: a repeat costs one event.
#pragma once

#include <QAbstractNativeEventFilter>
#include <array>
#include <cstdint>
#include <functional>

class TKeyRepeat : public QAbstractNativeEventFilter {
public:
  // Asks for repeats as presses alone (away from X, or where the server
  // refuses, each repeat keeps its release before it, and the window
  // system pairs the two). Repeat runs with the key code of each repeat
  // of a key handed over with Pressed.
  explicit TKeyRepeat(std::function<void(uint16_t)> repeat);
  ~TKeyRepeat() override;
  TKeyRepeat(const TKeyRepeat &) = delete;
  TKeyRepeat &operator=(const TKeyRepeat &) = delete;

  // A press the window system delivered to `window`: X key code `keycode`
  // with modifier state `state` gave the key code `key`. Its repeats on
  // the same window with the same state go to Repeat from now on.
  void Pressed(uint32_t window, uint32_t keycode, uint32_t state, uint16_t key);
  // Forgets every held key, for a window that has lost the keyboard: its
  // releases go elsewhere.
  void Clear();
  // Whether Repeat takes the repeats of an X key code.
  bool Takes(uint32_t keycode) const;

  bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
  struct THeld {
    uint16_t Key = 0;
    uint16_t State = 0;
  };
  std::function<void(uint16_t)> Repeat;
  uint32_t Window = 0;
  std::array<THeld, 256> Held{};
};
