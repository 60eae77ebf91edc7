#include "ui/winsys/gamepad.h"

#include "ui/winsys/customform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyleHints>
#include <SDL.h>

namespace {

// The inputs a pad reads, each a key source of its own, so that two of
// them holding one key (the D-pad and the stick) release it only together.
enum Input {
  inDpadLeft,
  inDpadRight,
  inStickLeft,
  inStickRight,
  inForward,
  inShootB,
  inShootX,
  inSwitchLeft,
  inSwitchRight,
  inStart,
  inCount
};

constexpr uint32_t Bit(int input) {
  return 1u << input;
}
constexpr uint32_t ShootInputs = Bit(inShootB) | Bit(inShootX);

// Read while a pad is connected: a little faster than a keyboard repeats.
constexpr int ReadInterval = 8;
// Read while a new device settles (its permissions are set a moment after
// it appears), for SettleTime in all.
constexpr int SettleInterval = 250;
constexpr int SettleTime = 4000;

std::vector<uint16_t> KeysOf(const TPadKeys &keys, int input) {
  switch (input) {
  case inDpadLeft:
  case inStickLeft:
    return {keys.Left};
  case inDpadRight:
  case inStickRight:
    return {keys.Right};
  case inForward:
    return {keys.Right, keys.Left};
  case inShootB:
  case inShootX:
    return {keys.Shoot};
  case inSwitchLeft:
  case inSwitchRight:
    return {keys.Switch};
  default:
    return {};
  }
}

// While a modal box is open the keyboard cannot reach the game either.
bool Blocked() {
  return QApplication::activeModalWidget() != nullptr;
}

} // namespace

struct TGamepads::Pad {
  SDL_GameController *Controller = nullptr;
  SDL_JoystickID Instance = -1;
  uint32_t Held = 0;
  QTimer Repeat;
};

TGamepads::TGamepads(TCustomForm &form, std::vector<TPadKeys> players,
                     const QString &deviceDirectory)
    : Form(form), Players(std::move(players)), Pads(Players.size()),
      DeviceDirectory(deviceDirectory) {
  connect(&ReadTimer, &QTimer::timeout, this, &TGamepads::Poll);
  connect(&SlowPoll, &QTimer::timeout, this, &TGamepads::Poll);
  if (int rate = QGuiApplication::styleHints()->keyboardAutoRepeatRate(); rate > 0)
    RepeatInterval = std::max(1000 / rate, 1);

  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Qt has the focus, never an SDL window.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
    return;
  Ready = true;
  // The pads' states are read directly; nobody drains SDL's event queue.
  SDL_GameControllerEventState(SDL_IGNORE);
  SDL_JoystickEventState(SDL_IGNORE);

  connect(&Watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
    WatchDevices();
    DevicesChanged();
  });
  WatchDevices();
  Poll();
}

TGamepads::~TGamepads() {
  // The form is going away: close without telling it anything.
  for (int p = 0; p < int(Pads.size()); ++p)
    Close(p, false);
  if (Ready)
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

int TGamepads::Connected() const {
  return int(std::count_if(Pads.begin(), Pads.end(), [](const auto &pad) { return bool(pad); }));
}

bool TGamepads::HasPad(int player) const {
  return player >= 0 && player < int(Pads.size()) && Pads[player];
}

bool TGamepads::Repeating(int player) const {
  return HasPad(player) && Pads[player]->Repeat.isActive();
}

void TGamepads::Poll() {
  // A handler's error box runs an event loop of its own: no reading
  // inside a reading.
  if (!Ready || Polling)
    return;
  Polling = true;
  SDL_GameControllerUpdate();
  for (int p = 0; p < int(Pads.size()); ++p) {
    if (Pads[p] && !SDL_GameControllerGetAttached(Pads[p]->Controller))
      Close(p, true);
  }
  OpenNewControllers();
  for (int p = 0; p < int(Pads.size()); ++p) {
    if (Pads[p])
      ReadPad(p);
  }
  if (SettlePolls > 0)
    --SettlePolls;
  Polling = false;
  Schedule();
}

// Gives each free player the next controller, in the order the devices
// were connected.
void TGamepads::OpenNewControllers() {
  const int count = SDL_NumJoysticks();
  for (int i = 0; i < count; ++i) {
    auto free = std::find_if(Pads.begin(), Pads.end(), [](const auto &pad) { return !pad; });
    if (free == Pads.end())
      return;
    if (!SDL_IsGameController(i))
      continue;
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
    if (std::any_of(Pads.begin(), Pads.end(),
                    [id](const auto &pad) { return pad && pad->Instance == id; }))
      continue;
    SDL_GameController *controller = SDL_GameControllerOpen(i);
    if (!controller)
      continue;
    auto pad = std::make_unique<Pad>();
    pad->Controller = controller;
    pad->Instance = id;
    const int player = int(free - Pads.begin());
    connect(&pad->Repeat, &QTimer::timeout, this, [this, player] {
      RepeatShoot(player);
      if (HasPad(player))
        Pads[player]->Repeat.setInterval(RepeatInterval);
    });
    *free = std::move(pad);
  }
}

void TGamepads::Close(int player, bool release) {
  if (!Pads[player])
    return;
  if (release) {
    for (int input = 0; input < inCount; ++input)
      Hold(player, input, false);
  }
  SDL_GameControllerClose(Pads[player]->Controller);
  Pads[player].reset();
}

void TGamepads::ReadPad(int player) {
  SDL_GameController *c = Pads[player]->Controller;
  const uint32_t held = Pads[player]->Held;
  auto button = [c](SDL_GameControllerButton b) { return SDL_GameControllerGetButton(c, b) != 0; };
  const int x = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
  const bool stickLeft = held & Bit(inStickLeft) ? x < -StickRelease : x < -StickPress;
  const bool stickRight = held & Bit(inStickRight) ? x > StickRelease : x > StickPress;

  const bool wanted[inCount] = {button(SDL_CONTROLLER_BUTTON_DPAD_LEFT),
                                button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT),
                                stickLeft,
                                stickRight,
                                button(SDL_CONTROLLER_BUTTON_A),
                                button(SDL_CONTROLLER_BUTTON_B),
                                button(SDL_CONTROLLER_BUTTON_X),
                                button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER),
                                button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER),
                                button(SDL_CONTROLLER_BUTTON_START)};
  // Releases first: a D-pad rocked from left to right in one reading
  // never holds both turn keys.
  for (int input = 0; input < inCount; ++input) {
    if (!wanted[input])
      Hold(player, input, false);
  }
  for (int input = 0; input < inCount; ++input) {
    if (wanted[input])
      Hold(player, input, true);
  }
}

void TGamepads::Hold(int player, int input, bool held) {
  if (!Pads[player])
    return;
  Pad &pad = *Pads[player];
  if (held == bool(pad.Held & Bit(input)))
    return;
  const TPadKeys &keys = Players[player];
  const int source = Source(player, input);
  if (held) {
    // A press while a modal box is open is not taken yet: it counts when
    // the box has gone, if the input is still held.
    if (Blocked())
      return;
    const bool shooting = pad.Held & ShootInputs;
    pad.Held |= Bit(input);
    if (input == inShootB || input == inShootX) {
      if (!shooting) {
        pad.Repeat.setInterval(RepeatDelay);
        pad.Repeat.start();
      }
    }
    for (uint16_t key : KeysOf(keys, input))
      Form.SourceKeyDown(source, key);
    if (input == inStart && Form.isActiveWindow())
      Form.PressDefaultButton();
  } else {
    pad.Held &= ~Bit(input);
    if (!(pad.Held & ShootInputs))
      pad.Repeat.stop();
    for (uint16_t key : KeysOf(keys, input))
      Form.SourceKeyUp(source, key);
  }
}

void TGamepads::RepeatShoot(int player) {
  if (!HasPad(player))
    return;
  Pad &pad = *Pads[player];
  const uint32_t shooting = pad.Held & ShootInputs;
  if (!shooting || Blocked())
    return;
  Form.SourceKeyDown(Source(player, shooting & Bit(inShootB) ? inShootB : inShootX),
                     Players[player].Shoot);
}

void TGamepads::Schedule() {
  int interval = 0;
  if (Connected() > 0)
    interval = ReadInterval;
  else if (SettlePolls > 0)
    interval = SettleInterval;
  if (interval == 0) {
    ReadTimer.stop();
  } else if (!ReadTimer.isActive() || ReadTimer.interval() != interval) {
    ReadTimer.start(interval);
  }
}

// Watches the input device directory, or its parent until it is there.
// Without a watch (no inotify watches left, say) the pads are looked for
// on a slow timer instead.
void TGamepads::WatchDevices() {
  const QString parent = QFileInfo(DeviceDirectory).path();
  const QStringList watched = Watcher.directories();
  bool watching = false;
  if (QDir(DeviceDirectory).exists()) {
    if (watched.contains(parent))
      Watcher.removePath(parent);
    watching = watched.contains(DeviceDirectory) || Watcher.addPath(DeviceDirectory);
  } else if (QDir(parent).exists()) {
    watching = watched.contains(parent) || Watcher.addPath(parent);
  }
  if (watching)
    SlowPoll.stop();
  else if (!SlowPoll.isActive())
    SlowPoll.start(SlowPollInterval);
}

void TGamepads::DevicesChanged() {
  SettlePolls = SettleTime / SettleInterval;
  Poll();
}

int TGamepads::Source(int player, int input) const {
  return 1 + player * inCount + input;
}
