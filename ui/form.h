// The main window: its designed contents and its handlers, which call into
// the battlefield; it is the window the battlefield is played in.
#pragma once

#include "game/battlefield.h"
#include "game/computer.h"
#include "game/gamewindow.h"
#include "music/mediaplayer.h"
#include "net/netgame.h"
#include "net/portmapper.h"
#include "net/session.h"
#include "sound/sfxslib.h"
#include "sound/sfxsnd.h"
#include "ui/netwaiter.h"
#include "ui/winsys/button.h"
#include "ui/winsys/customform.h"
#include "ui/winsys/gamepad.h"
#include "ui/winsys/image.h"
#include "ui/winsys/label.h"
#include "ui/winsys/statusbar.h"
#include "ui/winsys/timer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Where the game stands: the instruction screen; the old field after New
// game, with Start game on view; a game running; a running game behind the
// Exit question; a game over, with New game on view.
enum class TFlow { Instructions, Ready, Running, Paused, Over };

class TfrmAbout;

class TForm1 : public TCustomForm, public TGameWindow, public IComputerKeys, public INetGameWindow {
  Q_OBJECT

public:
  // Builds the designed contents in creation order, finishes their loading
  // and runs FormCreate. A failure while the contents are built leaves the
  // constructor with the exception.
  TForm1();
  ~TForm1() override;

  TLabel *lblRedHits, *lblBlueHits, *lblBlackHits, *lblRedPoints, *lblBluePoints;
  TImage *imgStar, *imgBird;
  TLabel *lblExplane, *lblLetter;
  std::unique_ptr<TMediaPlayer> BackgroundMusic;
  TLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9, *Label10,
      *Label11, *Label12, *Label13, *Label14, *Label15, *Label16, *Label17, *Label18, *Label19,
      *Label20, *Label21;
  TButton *btnStart, *btnExit;
  TStatusBar *StatusBar1, *StatusBar2;
  TButton *cmdAbout;
  std::unique_ptr<TTimer> Timer1;
  std::unique_ptr<TSfxAudio> SfxAudio1;
  std::unique_ptr<TSfxSoundLib> SfxSoundLib1;
  // Game controllers: not a designed component.
  std::unique_ptr<TGamepads> Gamepads;
  // The About box, made when it is first asked for.
  std::unique_ptr<TfrmAbout> AboutBox;
  bool GamepadsAsked = false;
  // The computer's players by side (1 red, 2 blue), where it plays one.
  std::unique_ptr<CComputerPlayer> Computers[kMaxPlayers + 1];
  // The computer's presses and releases: one more key source.
  static constexpr int ComputerSource = -1;

  // The names of all components, in creation order.
  QStringList ComponentNames;

  // Counts ticks while the impact marker is on view and while the music is
  // stopped.
  int32_t MarkerMusicCounter = 0;
  // Counts ticks while the destroyed-tank marker is on view.
  int32_t BirdCounter = 0;
  // The first command-line argument is "debug".
  bool DebugMode = false;
  TFlow Flow = TFlow::Instructions;

  // Centres a marker picture (the star, the bird) on a point of the field
  // and shows it.
  void ShowMarker(TImage *marker, TPointF at);

  // The window the battlefield is played in.
  int ClientWidth() const override { return TCustomForm::ClientWidth(); }
  int ClientHeight() const override { return TCustomForm::ClientHeight(); }
  int Width() const override { return TCustomForm::Width(); }
  int Height() const override { return TCustomForm::Height(); }
  int StatusBarHeight() const override { return StatusBar1->height(); }
  TImageCanvas *Canvas() override { return TCustomForm::Canvas(); }
  TColor WindowColor() const override { return Color; }
  void PlaySound(int32_t index) override;
  void LoopSound(int32_t index) override;
  void StopSound(int32_t index) override;
  void RestartSound(int32_t index) override;
  void Beep() override;
  void ShowMarker(TMarker marker, TPointF at) override;
  void SetScoreCaption(int32_t player, std::string_view caption) override;
  void GameOver() override;

  // From now on the computer plays a side, with its own generator seeded
  // as given. That side's keyboard keys and pads are ignored: the pads go
  // to the sides people play.
  void PlayComputer(int side, TComputerLevel level, uint32_t seed);
  void ComputerKeyDown(uint16_t key) override;
  void ComputerKeyUp(uint16_t key) override;
  bool TakesKey(int source, uint16_t key) const override;

  // A network game (null in local play): the session, the game played
  // over it, the status line with the connect code or what happened, and
  // what runs the game when a datagram comes or a deadline is due, also
  // while a question is open.
  std::unique_ptr<TNetSession> Net;
  std::unique_ptr<TNetGame> NetGame;
  QLineEdit *NetStatus = nullptr;
  TNetWaiter *NetWait = nullptr;
  // The Copy button, which puts the connect code (host) or the reply
  // code (joiner) on the clipboard.
  QPushButton *NetCopy = nullptr;
  // The host's field for the joiner's reply code.
  QLineEdit *NetReply = nullptr;
  // A joiner's reply code, once its window offers one; its router's
  // outside address, once asked.
  std::string ReplyText;
  TMapping Outside;
  bool OutsideAsked = false, ReplyDue = false;
  // Hosting was chosen in the "Play over the network" dialog: the code is
  // shown in a box of its own too.
  bool CodeBox = false;
  // What opens a host's port on the home router, while the host waits
  // and plays; its mappings go when it does.
  std::unique_ptr<TPortMapper> Mapper;
  // Opens the session that plays this window's game over the network;
  // false, with the reason in Net->Message, when it cannot be opened.
  bool PlayNetwork(std::unique_ptr<TNetSession> session);

  // The window's side of a network game.
  void NetShow(const std::string &text) override;
  void NetReplyWanted() override;
  void NetReplyGiven(const std::string &code) override { TakeReply(code); }
  bool GameRunning() const override { return Flow == TFlow::Running || Flow == TFlow::Paused; }
  // The start of a game, once decided.
  void StartGame() override;
  void StepGame() override;

  void FormCreate();
  void FormPaint();
  void FormKeyDown(uint16_t &key);
  void FormKeyUp(uint16_t &key);
  void btnStartClick();
  void btnExitClick();
  void cmdAboutClick();
  void Timer1Timer();

protected:
  void DoPaint() override;
  void DoKeyDown(uint16_t &key) override { FormKeyDown(key); }
  void DoKeyUp(uint16_t &key) override { FormKeyUp(key); }
  void closeEvent(QCloseEvent *event) override;

private:
  void CreateContents();
  void FinishLoading();
  TLabel *NewLabel(const char *name, int left, int top, int width, int height, bool visible);
  TButton *NewButton(const char *name, int left, int top, int width, int height,
                     const QString &caption);
  TStatusBar *NewStatusBar(const char *name, int left, int top, int width, int height,
                           const QString &text, TColor color);
  std::vector<TLabel *> InstructionLabels() const;
  bool GameObjectsExist() const;
  // The side whose key it is, or 0.
  int SideOfKey(uint16_t key) const;
  // One controller's keys for each side a person plays, red first.
  std::vector<TPadKeys> PadKeys() const;
  void NewComputerGames();
  // The computer's turn after a tick's work: it looks and presses keys, or
  // lets go of them once the game is over.
  void RunComputers();
  // The main loop's step, the same in local and network play.
  void MainLoopStep();
  // The start button back on view for what comes next: New game after a
  // game (Over); Start game on a new battlefield, with the old walls on
  // view (Ready) or on the instruction screen (Instructions).
  void BackToStart(TFlow flow);
  void NetEnded();
  // The router's answer: the connect code with the outside address first,
  // printed and shown.
  void HostMapped(const TMapping &mapping);
  // The connect code on standard output and in the status line.
  void ShowCode(const std::string &note);
  // The joiner's reply code, once 3 s have gone by without an answer and
  // its router has said its outside address (or nothing).
  void OfferReply();
  // The reply code pasted into the host's window or given with --reply.
  void TakeReply(const std::string &text);
};

extern TForm1 *Form1;
