// Key sources and game controllers, driven by SDL's virtual controllers:
// what the form's key handlers receive from the keyboard and the pads.
#include "ui/form.h"
#include "ui/winsys/application.h"
#include "ui/winsys/customform.h"
#include "ui/winsys/gamepad.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <SDL.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

using KeyLog = std::vector<std::pair<char, uint16_t>>;

// Game keys as the main window hands them out.
constexpr uint16_t RedLeft = 83, RedRight = 70, RedShoot = 69, RedSwitch = 90;
constexpr uint16_t BlueLeft = 100, BlueRight = 102, BlueShoot = 104, BlueSwitch = 96;
const std::vector<TPadKeys> GameKeys = {{RedLeft, RedRight, RedShoot, RedSwitch},
                                        {BlueLeft, BlueRight, BlueShoot, BlueSwitch}};

class RecordingForm : public TCustomForm {
public:
  RecordingForm() {
    KeyPreview = true;
    SetClientSize(200, 100);
    show();
  }
  KeyLog Keys;
  KeyLog Take() { return std::exchange(Keys, {}); }
  using TCustomForm::changeEvent;

protected:
  void DoKeyDown(uint16_t &key) override { Keys.push_back({'d', key}); }
  void DoKeyUp(uint16_t &key) override { Keys.push_back({'u', key}); }
};

void SendKey(QWidget &to, QEvent::Type type, int key, uint32_t keysym) {
  QKeyEvent e(type, key, Qt::NoModifier, 0, keysym, 0);
  QApplication::sendEvent(&to, &e);
}

void PressF(QWidget &to) {
  SendKey(to, QEvent::KeyPress, Qt::Key_F, 'f');
}

void ReleaseF(QWidget &to) {
  SendKey(to, QEvent::KeyRelease, Qt::Key_F, 'f');
}

// One of SDL's virtual controllers: its buttons and axes are numbered as
// the game controller's.
class VirtualPad {
public:
  VirtualPad() {
    const int index = SDL_JoystickAttachVirtual(
        SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
    EXPECT_GE(index, 0) << SDL_GetError();
    Joystick = SDL_JoystickOpen(index);
    EXPECT_NE(Joystick, nullptr) << SDL_GetError();
    EXPECT_TRUE(SDL_IsGameController(index));
  }
  ~VirtualPad() { Unplug(); }
  VirtualPad(const VirtualPad &) = delete;
  VirtualPad &operator=(const VirtualPad &) = delete;

  void Button(SDL_GameControllerButton button, bool down) {
    SDL_JoystickSetVirtualButton(Joystick, button, down ? 1 : 0);
  }
  void StickX(int value) { SDL_JoystickSetVirtualAxis(Joystick, SDL_CONTROLLER_AXIS_LEFTX, value); }
  void Unplug() {
    if (!Joystick)
      return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(Joystick);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id)
        SDL_JoystickDetachVirtual(i);
    }
    SDL_JoystickClose(Joystick);
    Joystick = nullptr;
  }

private:
  SDL_Joystick *Joystick = nullptr;
};

// The controller subsystem stays up for the whole test, so that virtual
// pads can be attached before the pads are created.
class SdlControllers : public ::testing::Test {
protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Only the virtual pads play: a real one plugged into the machine
    // running the tests is left alone.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_IGNORE_DEVICES_EXCEPT, "0x0000/0x0000");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
  }
  void TearDown() override { SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER); }
};

class Gamepads : public SdlControllers {
protected:
  void SetUp() override {
    SdlControllers::SetUp();
    Pads = std::make_unique<TGamepads>(Form, GameKeys);
    ASSERT_TRUE(Pads->Available());
  }
  void TearDown() override {
    Pads.reset();
    SdlControllers::TearDown();
  }
  // Changes a button and lets the pads read it.
  void Press(VirtualPad &pad, SDL_GameControllerButton button) {
    pad.Button(button, true);
    Pads->Poll();
  }
  void Release(VirtualPad &pad, SDL_GameControllerButton button) {
    pad.Button(button, false);
    Pads->Poll();
  }
  void Stick(VirtualPad &pad, int x) {
    pad.StickX(x);
    Pads->Poll();
  }

  RecordingForm Form;
  std::unique_ptr<TGamepads> Pads;
};

} // namespace

TEST(KeySources, AKeyHeldByTwoSourcesIsReleasedWhenTheLastLetsGo) {
  RecordingForm form;
  // Keyboard first, then another source.
  PressF(form);
  form.SourceKeyDown(7, RedRight);
  ReleaseF(form);
  EXPECT_TRUE(form.KeyHeld(RedRight));
  form.SourceKeyUp(7, RedRight);
  EXPECT_EQ(form.Take(), (KeyLog{{'d', 70}, {'d', 70}, {'u', 70}}));
  EXPECT_FALSE(form.KeyHeld(RedRight));
  // The other source first, then the keyboard.
  form.SourceKeyDown(7, RedRight);
  PressF(form);
  form.SourceKeyUp(7, RedRight);
  ReleaseF(form);
  EXPECT_EQ(form.Take(), (KeyLog{{'d', 70}, {'d', 70}, {'u', 70}}));
  // Other keys are not affected by a held one.
  form.SourceKeyDown(7, RedRight);
  form.SourceKeyDown(TCustomForm::KeyboardSource, RedLeft);
  form.SourceKeyUp(TCustomForm::KeyboardSource, RedLeft);
  form.SourceKeyUp(7, RedRight);
  EXPECT_EQ(form.Take(), (KeyLog{{'d', 70}, {'d', 83}, {'u', 83}, {'u', 70}}));
}

TEST(KeySources, AReleaseReachesTheFormWhileNoOtherSourceHoldsTheKey) {
  RecordingForm form;
  // A key pressed while another window had the focus: its release still
  // goes out, as it always has.
  ReleaseF(form);
  form.SourceKeyUp(7, RedLeft);
  EXPECT_EQ(form.Take(), (KeyLog{{'u', 70}, {'u', 83}}));
  // But not while another source holds it.
  form.SourceKeyDown(7, RedRight);
  ReleaseF(form);
  EXPECT_EQ(form.Take(), (KeyLog{{'d', 70}}));
  form.SourceKeyUp(7, RedRight);
  EXPECT_EQ(form.Take(), (KeyLog{{'u', 70}}));
}

TEST(KeySources, LosingTheFocusForgetsTheKeyboardsKeysWithoutReleasingThem) {
  RecordingForm form;
  PressF(form);
  form.SourceKeyDown(7, RedRight);
  // The keyboard's release went to another window.
  QEvent deactivated(QEvent::ActivationChange);
  ASSERT_FALSE(form.isActiveWindow());
  form.changeEvent(&deactivated);
  EXPECT_EQ(form.Take(), (KeyLog{{'d', 70}, {'d', 70}}));
  form.SourceKeyUp(7, RedRight);
  EXPECT_EQ(form.Take(), (KeyLog{{'u', 70}}));
}

TEST_F(Gamepads, WithoutAControllerNothingIsReadUntilADeviceArrives) {
  EXPECT_EQ(Pads->Connected(), 0);
  EXPECT_FALSE(Pads->Reading());
  EXPECT_TRUE(Pads->Watching());
  Pads->Poll();
  EXPECT_FALSE(Pads->Reading());
  // A device that is no controller: read while it settles, then no more.
  Pads->DevicesChanged();
  int polls = 0;
  while (Pads->Reading() && polls < 100) {
    Pads->Poll();
    ++polls;
  }
  EXPECT_GT(polls, 1);
  EXPECT_LT(polls, 100);
  // A controller that arrives is read from then on.
  Pads->DevicesChanged();
  VirtualPad pad;
  for (int i = 0; i < polls + 1; ++i)
    Pads->Poll();
  EXPECT_TRUE(Pads->HasPad(0));
  EXPECT_TRUE(Pads->Reading());
  EXPECT_TRUE(Form.Keys.empty());
}

TEST_F(SdlControllers, WithoutAWatchOnTheDevicesThePadsAreLookedForEveryTwoSeconds) {
  RecordingForm form;
  TGamepads pads(form, GameKeys, "/nonexistent-zoftrel/input");
  ASSERT_TRUE(pads.Available());
  EXPECT_FALSE(pads.Watching());
  EXPECT_TRUE(pads.SlowPolling());
  EXPECT_FALSE(pads.Reading());
  VirtualPad pad;
  QElapsedTimer clock;
  clock.start();
  while (!pads.HasPad(0) && clock.elapsed() < 2 * TGamepads::SlowPollInterval) {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  EXPECT_TRUE(pads.HasPad(0));
  EXPECT_TRUE(pads.Reading());
}

TEST_F(Gamepads, DpadAndStickTurnTheFirstPlayer) {
  VirtualPad pad;
  Pads->Poll();
  EXPECT_EQ(Pads->Connected(), 1);
  EXPECT_TRUE(Pads->HasPad(0));
  EXPECT_FALSE(Pads->HasPad(1));
  EXPECT_TRUE(Pads->Reading());

  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Pads->Poll(); // a held button is not pressed again
  Release(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  Release(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 70}, {'u', 70}, {'d', 83}, {'u', 83}}));

  // The stick: a dead zone, and a smaller one to let go.
  Stick(pad, -TGamepads::StickPress + 1000);
  EXPECT_TRUE(Form.Take().empty());
  Stick(pad, -TGamepads::StickPress - 1000);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 83}}));
  Stick(pad, -TGamepads::StickRelease - 1000);
  EXPECT_TRUE(Form.Take().empty());
  Stick(pad, -TGamepads::StickRelease + 1000);
  EXPECT_EQ(Form.Take(), (KeyLog{{'u', 83}}));
  Stick(pad, 32767);
  Stick(pad, 0);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 70}, {'u', 70}}));
  // Rocked from one side to the other in one reading: never both.
  Stick(pad, -32768);
  Form.Take();
  Stick(pad, 32767);
  EXPECT_EQ(Form.Take(), (KeyLog{{'u', 83}, {'d', 70}}));
  Stick(pad, 0);
  Form.Take();
}

TEST_F(Gamepads, DpadAndStickOnOneKeyReleaseItOnlyTogether) {
  VirtualPad pad;
  Pads->Poll();
  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  Stick(pad, -20000);
  Release(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  EXPECT_TRUE(Form.KeyHeld(RedLeft));
  Stick(pad, 0);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 83}, {'d', 83}, {'u', 83}}));
  EXPECT_FALSE(Form.KeyHeld(RedLeft));
}

TEST_F(Gamepads, AHoldsBothTurnKeysToDriveForward) {
  VirtualPad pad;
  Pads->Poll();
  Press(pad, SDL_CONTROLLER_BUTTON_A);
  EXPECT_TRUE(Form.KeyHeld(RedLeft));
  EXPECT_TRUE(Form.KeyHeld(RedRight));
  // Letting go of the D-pad keeps the key that A still holds.
  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Release(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Release(pad, SDL_CONTROLLER_BUTTON_A);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 70}, {'d', 83}, {'d', 70}, {'u', 70}, {'u', 83}}));
}

TEST_F(Gamepads, ShootingRepeatsKeyDownsWhileHeld) {
  VirtualPad pad;
  Pads->Poll();
  Press(pad, SDL_CONTROLLER_BUTTON_B);
  EXPECT_TRUE(Pads->Repeating(0));
  Pads->RepeatShoot(0);
  Pads->RepeatShoot(0);
  // The other shoot button adds a press, not a second repeat.
  Press(pad, SDL_CONTROLLER_BUTTON_X);
  Release(pad, SDL_CONTROLLER_BUTTON_B);
  EXPECT_TRUE(Pads->Repeating(0));
  Pads->RepeatShoot(0);
  Release(pad, SDL_CONTROLLER_BUTTON_X);
  EXPECT_FALSE(Pads->Repeating(0));
  Pads->RepeatShoot(0);
  EXPECT_EQ(Form.Take(),
            (KeyLog{{'d', 69}, {'d', 69}, {'d', 69}, {'d', 69}, {'d', 69}, {'u', 69}}));
}

TEST_F(Gamepads, EitherShoulderSwitchesTanks) {
  VirtualPad pad;
  Pads->Poll();
  Press(pad, SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
  Release(pad, SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
  Press(pad, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER);
  Release(pad, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 90}, {'u', 90}, {'d', 90}, {'u', 90}}));
}

TEST_F(Gamepads, TheSecondPadSteersBlue) {
  VirtualPad red, blue;
  Pads->Poll();
  EXPECT_EQ(Pads->Connected(), 2);
  Press(blue, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Press(red, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Release(blue, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Release(red, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Press(blue, SDL_CONTROLLER_BUTTON_A);
  Release(blue, SDL_CONTROLLER_BUTTON_A);
  Press(blue, SDL_CONTROLLER_BUTTON_B);
  Release(blue, SDL_CONTROLLER_BUTTON_B);
  Press(blue, SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
  Release(blue, SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
  Stick(blue, -20000);
  Stick(blue, 0);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 102},
                                 {'d', 70},
                                 {'u', 102},
                                 {'u', 70},
                                 {'d', 102},
                                 {'d', 100},
                                 {'u', 102},
                                 {'u', 100},
                                 {'d', 104},
                                 {'u', 104},
                                 {'d', 96},
                                 {'u', 96},
                                 {'d', 100},
                                 {'u', 100}}));
}

TEST_F(Gamepads, UnpluggingAPadReleasesWhatItHeldAndFreesItsPlayer) {
  auto red = std::make_unique<VirtualPad>();
  VirtualPad blue;
  Pads->Poll();
  Press(*red, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Press(*red, SDL_CONTROLLER_BUTTON_B);
  Form.Take();
  red->Unplug();
  Pads->Poll();
  EXPECT_EQ(Form.Take(), (KeyLog{{'u', 70}, {'u', 69}}));
  EXPECT_FALSE(Pads->HasPad(0));
  EXPECT_FALSE(Pads->Repeating(0));
  Pads->RepeatShoot(0);
  EXPECT_TRUE(Form.Keys.empty());
  // Blue keeps its pad; the next pad plugged in plays red.
  EXPECT_TRUE(Pads->HasPad(1));
  VirtualPad next;
  Pads->Poll();
  Press(next, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  Press(blue, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 83}, {'d', 100}}));
  // With every pad gone, reading stops.
  red.reset();
  next.Unplug();
  blue.Unplug();
  Pads->Poll();
  EXPECT_EQ(Form.Take(), (KeyLog{{'u', 83}, {'u', 100}}));
  EXPECT_EQ(Pads->Connected(), 0);
  EXPECT_FALSE(Pads->Reading());
}

TEST_F(Gamepads, KeyboardAndPadOnOneKeyReleaseItOnlyWhenBothLetGo) {
  VirtualPad pad;
  Pads->Poll();
  PressF(Form);
  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  ReleaseF(Form);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 70}, {'d', 70}}));
  Release(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  EXPECT_EQ(Form.Take(), (KeyLog{{'u', 70}}));

  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  PressF(Form);
  Release(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 70}, {'d', 70}}));
  ReleaseF(Form);
  EXPECT_EQ(Form.Take(), (KeyLog{{'u', 70}}));
}

TEST_F(Gamepads, StartPressesTheDefaultButtonOfTheActiveWindowOnly) {
  auto *button = new QPushButton("Start game", &Form);
  button->show();
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  Form.DefaultButton = button;
  VirtualPad pad;
  Pads->Poll();

  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_FALSE(Form.isActiveWindow());
  Press(pad, SDL_CONTROLLER_BUTTON_START);
  Release(pad, SDL_CONTROLLER_BUTTON_START);
  EXPECT_EQ(clicks, 0);

  QApplication::setActiveWindow(&Form);
  ASSERT_TRUE(Form.isActiveWindow());
  Press(pad, SDL_CONTROLLER_BUTTON_START);
  Pads->Poll();
  EXPECT_EQ(clicks, 1);
  Release(pad, SDL_CONTROLLER_BUTTON_START);
  button->hide();
  Press(pad, SDL_CONTROLLER_BUTTON_START);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Form.Keys.empty());
}

TEST_F(Gamepads, AModalBoxTakesNoPressesButLetsHeldKeysGo) {
  VirtualPad pad;
  Pads->Poll();
  Press(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  {
    QDialog box;
    box.setModal(true);
    box.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &box);
    Press(pad, SDL_CONTROLLER_BUTTON_B);
    EXPECT_FALSE(Pads->Repeating(0));
    Release(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    EXPECT_EQ(Form.Take(), (KeyLog{{'d', 70}, {'u', 70}}));
  }
  // A button still held when the box goes away takes effect then.
  Pads->Poll();
  EXPECT_TRUE(Pads->Repeating(0));
  Release(pad, SDL_CONTROLLER_BUTTON_B);
  EXPECT_EQ(Form.Take(), (KeyLog{{'d', 69}, {'u', 69}}));
}

namespace {

// The main window, with its key-down handler watched.
class ProbeForm : public TForm1 {
public:
  KeyLog Keys;

  // The window looks for pads once it has been painted the first time.
  void ShowAndWaitForPads() {
    show();
    QElapsedTimer clock;
    clock.start();
    while (!Gamepads && clock.elapsed() < 5000)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
  }

protected:
  void DoKeyDown(uint16_t &key) override {
    Keys.push_back({'d', key});
    TForm1::DoKeyDown(key);
  }
};

} // namespace

TEST_F(SdlControllers, TheMainWindowGivesEachPlayerAPadWithTheGameKeys) {
  Application.SetScreenSize(1280, 1024);
  VirtualPad red, blue;
  ProbeForm form;
  EXPECT_EQ(form.Gamepads, nullptr) << "none before the window is painted";
  form.ShowAndWaitForPads();
  ASSERT_NE(form.Gamepads, nullptr);
  form.Gamepads->Poll();
  EXPECT_EQ(form.Gamepads->Connected(), 2);
  for (VirtualPad *pad : {&red, &blue}) {
    for (auto button : {SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
                        SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_LEFTSHOULDER}) {
      pad->Button(button, true);
      form.Gamepads->Poll();
      pad->Button(button, false);
      form.Gamepads->Poll();
    }
  }
  EXPECT_EQ(form.Keys, (KeyLog{{'d', 83},
                               {'d', 70},
                               {'d', 69},
                               {'d', 90},
                               {'d', 100},
                               {'d', 102},
                               {'d', 104},
                               {'d', 96}}));
  // Start begins a game from the instruction screen.
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(form.btnStart->isVisible());
  red.Button(SDL_CONTROLLER_BUTTON_START, true);
  form.Gamepads->Poll();
  EXPECT_FALSE(form.btnStart->isVisible());
  EXPECT_TRUE(form.Timer1->Enabled());
}

TEST_F(SdlControllers, AgainstTheComputerTheFirstPadSteersThePersonsSide) {
  Application.SetScreenSize(1280, 1024);
  VirtualPad pad;
  ProbeForm form;
  form.PlayComputer(1, lvEasy, 1);
  form.ShowAndWaitForPads();
  ASSERT_NE(form.Gamepads, nullptr);
  form.Gamepads->Poll();
  EXPECT_EQ(form.Gamepads->Connected(), 1);
  pad.Button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
  form.Gamepads->Poll();
  pad.Button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
  form.Gamepads->Poll();
  EXPECT_EQ(form.Keys, (KeyLog{{'d', 100}}));
}
