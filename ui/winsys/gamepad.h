// Game controllers as a second keyboard. Each controller plays for one
// player, in the order they were connected, and holds that player's keys
// through the form's key handlers, so a handler cannot tell a pad from the
// keyboard:
//   D-pad or left stick left/right  turn left / turn right
//   A                               both turn keys (forward)
//   B or X                          shoot, repeating while held
//   either shoulder button          switch
//   Start                           the form's default button
// Controllers come and go at any time; a pad that goes away lets go of
// everything it held.
//
// Nothing runs while no controller is connected: the pads are read by a
// timer that runs only while one is open, and a new device is noticed by
// watching the input device directory (inotify), after which the pads are
// read for a few seconds while the device settles. Where the directory
// cannot be watched, the pads are looked for every two seconds instead.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

class TCustomForm;

// The keys one player's controller holds.
struct TPadKeys {
  uint16_t Left = 0, Right = 0, Shoot = 0, Switch = 0;
};

class TGamepads : public QObject {
  Q_OBJECT

public:
  // One entry of players per player, in the order controllers are given
  // out. Without a usable controller subsystem the object stays idle.
  // New devices appear in deviceDirectory.
  TGamepads(TCustomForm &form, std::vector<TPadKeys> players,
            const QString &deviceDirectory = "/dev/input");
  ~TGamepads() override;

  bool Available() const { return Ready; }
  // How many controllers are playing.
  int Connected() const;
  // Whether player p (0-based) has a controller.
  bool HasPad(int player) const;
  // Whether the pads are being read on a timer.
  bool Reading() const { return ReadTimer.isActive(); }
  // Whether player p's shoot key is repeating.
  bool Repeating(int player) const;
  // Whether device arrivals are being watched for.
  bool Watching() const { return !Watcher.directories().isEmpty(); }
  // Whether the pads are looked for on a slow timer, for want of a watch.
  bool SlowPolling() const { return SlowPoll.isActive(); }
  static constexpr int SlowPollInterval = 2000;

  // Reads every controller now: connections, buttons and sticks.
  void Poll();
  // One auto-repeat of player p's shoot key, if it is held.
  void RepeatShoot(int player);
  // A device came or went: reads the pads now and for a few seconds
  // while a new one settles.
  void DevicesChanged();

  // The stick's dead zone: a stick holds a turn key beyond Press and lets
  // go of it inside Release.
  static constexpr int StickPress = 8000;
  static constexpr int StickRelease = 6000;

private:
  struct Pad;

  void OpenNewControllers();
  void Close(int player, bool release);
  void ReadPad(int player);
  void Hold(int player, int input, bool held);
  void Schedule();
  void WatchDevices();
  int Source(int player, int input) const;

  TCustomForm &Form;
  std::vector<TPadKeys> Players;
  std::vector<std::unique_ptr<Pad>> Pads;
  bool Ready = false;
  bool Polling = false;
  // Polls left while a newly seen device settles.
  int SettlePolls = 0;
  QTimer ReadTimer;
  QFileSystemWatcher Watcher;
  QString DeviceDirectory;
  QTimer SlowPoll;
  int RepeatDelay = 500, RepeatInterval = 33;
};
