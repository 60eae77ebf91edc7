#include "ui/form.h"

#include "rtl/sysutils.h"
#include "sound/sfxassets.h"
#include "ui/about.h"
#include "ui/pictures.h"
#include "ui/winsys/application.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

TForm1 *Form1 = nullptr;

namespace {
const TFont ComicBold17{"Comic Sans MS", -17, clWindowText, true};
const TFont Comic17{"Comic Sans MS", -17, clWindowText, false};
const TFont SystemBold17{"System", -17, clWindowText, true};

TFont WithColor(TFont font, TColor color) {
  font.Color = color;
  return font;
}
} // namespace

TForm1::TForm1() {
  setObjectName("Form1");
  setWindowTitle("Zoftrel");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowIcon(GameIcon());
  Color = clOlive;
  Font = TFont{"System", -16, clWindowText, false};
  QFont f = Font.ToQFont();
  f.setStyleStrategy(QFont::PreferDefault);
  setFont(f);
  KeyPreview = true;
  BeginLoading();
  SetClientSize(792, 535);
  move(180, 96);

  CreateContents();
  FinishLoading();
  Form1 = this;
  GameWindow = this;
  Application.Guard([this] { FormCreate(); });
}

// The pads are looked for once the window has been painted the first
// time: the window comes first, and the sides the computer plays are
// known by then.
void TForm1::DoPaint() {
  FormPaint();
  if (!GamepadsAsked) {
    GamepadsAsked = true;
    QTimer::singleShot(0, this, [this] {
      if (!Gamepads)
        Gamepads = std::make_unique<TGamepads>(*this, PadKeys());
    });
  }
}

// A pad holds its player's keys: the first pad steers red, the second
// blue, or the one side a person plays against the computer.
std::vector<TPadKeys> TForm1::PadKeys() const {
  std::vector<TPadKeys> keys;
  for (int p = 1; p <= kMaxPlayers && GameObjectsExist(); ++p)
    if (!Computers[p])
      keys.push_back(
          {Players[p]->KeyLeft, Players[p]->KeyRight, Players[p]->KeyShoot, Players[p]->KeySwitch});
  return keys;
}

void TForm1::PlayComputer(int side, TComputerLevel level, uint32_t seed) {
  Computers[side] = std::make_unique<CComputerPlayer>(side, level, seed, this);
  if (Gamepads) {
    Gamepads.reset();
    Gamepads = std::make_unique<TGamepads>(*this, PadKeys());
  }
}

void TForm1::ComputerKeyDown(uint16_t key) {
  SourceKeyDown(ComputerSource, key);
}

void TForm1::ComputerKeyUp(uint16_t key) {
  SourceKeyUp(ComputerSource, key);
}

// A side's keys come from the computer alone while it plays that side,
// and never from it otherwise.
bool TForm1::TakesKey(int source, uint16_t key) const {
  // In a network game every key source steers this machine's side.
  if (Net)
    return (Computers[Net->LocalSide] != nullptr) == (source == ComputerSource);
  const int side = SideOfKey(key);
  const bool computer = side != 0 && Computers[side];
  return computer == (source == ComputerSource);
}

int TForm1::SideOfKey(uint16_t key) const {
  for (int p = 1; p <= kMaxPlayers && GameObjectsExist(); ++p) {
    const CPlayer *player = Players[p];
    if (key == player->KeyLeft || key == player->KeyRight || key == player->KeyShoot ||
        key == player->KeySwitch)
      return p;
  }
  return 0;
}

void TForm1::NewComputerGames() {
  for (auto &computer : Computers)
    if (computer) {
      // In a network game its keys act Delay ticks after its tick, one
      // tick being what they take at one keyboard.
      computer->KeyDelay = Net ? Net->Delay - 1 : 0;
      computer->NewGame();
    }
}

void TForm1::RunComputers() {
  for (auto &computer : Computers)
    if (computer && GameRunning())
      computer->Tick();
  // The game may also end while the computer presses its keys.
  if (!GameRunning())
    for (auto &computer : Computers)
      if (computer)
        computer->ReleaseAll();
}

TForm1::~TForm1() {
  // Components go from the last to the first: the library, then the audio
  // output (which stops and frees its buffers and closes the device).
  if (SfxAudio1) {
    SfxAudio1->LibraryRemoved(SfxSoundLib1.get());
    SfxSoundLib1.reset();
    SfxAudio1->SetMusic(nullptr);
    SfxAudio1.reset();
  }
  if (Form1 == this) {
    Form1 = nullptr;
    // The tables point at objects of this window's game.
    ClearGameObjects();
  }
  if (GameWindow == this)
    GameWindow = nullptr;
}

TLabel *TForm1::NewLabel(const char *name, int left, int top, int width, int height, bool visible) {
  auto *label = new TLabel(this, name);
  label->SetBounds(left, top, width, height);
  label->SetVisible(visible);
  ComponentNames << name;
  return label;
}

TButton *TForm1::NewButton(const char *name, int left, int top, int width, int height,
                           const QString &caption) {
  auto *button = new TButton(this, name);
  button->setGeometry(left, top, width, height);
  button->SetCaption(caption);
  button->SetFont(Font);
  ComponentNames << name;
  return button;
}

TStatusBar *TForm1::NewStatusBar(const char *name, int left, int top, int width, int height,
                                 const QString &text, TColor color) {
  auto *bar = new TStatusBar(this, name);
  bar->setGeometry(left, top, width, height);
  bar->SetFont(TFont{"Comic Sans MS", -13, color, false});
  bar->SetSimpleText(text);
  ComponentNames << name;
  return bar;
}

// The window's designed contents, in creation order.
void TForm1::CreateContents() {
  lblRedHits = NewLabel("lblRedHits", 10, 270, 73, 20, false);
  lblRedHits->SetFont(WithColor(SystemBold17, clRed));
  lblRedHits->SetCaption("Red hits: ");
  lblBlueHits = NewLabel("lblBlueHits", 8, 238, 77, 20, false);
  lblBlueHits->SetFont(WithColor(SystemBold17, clBlue));
  lblBlueHits->SetCaption("Blue hits: ");
  lblBlackHits = NewLabel("lblBlackHits", 12, 298, 73, 20, false);
  lblBlackHits->SetFont(WithColor(SystemBold17, clBlack));
  lblBlackHits->SetCaption("Red hits: ");

  lblRedPoints = NewLabel("lblRedPoints", 8, 4, 110, 25, true);
  lblRedPoints->SetFont(WithColor(ComicBold17, clMaroon));
  lblRedPoints->SetCaption("Red points: 0");
  lblBluePoints = NewLabel("lblBluePoints", 666, 4, 114, 25, true);
  lblBluePoints->SetAlignment(taRightJustify);
  lblBluePoints->SetFont(WithColor(ComicBold17, clBlue));
  lblBluePoints->SetCaption("Blue points: 0");

  imgStar = new TImage(this, "imgStar");
  imgStar->SetBounds(782, -14, 11, 11);
  imgStar->SetVisible(false);
  imgStar->SetPicture(StarPicture());
  ComponentNames << "imgStar";
  imgBird = new TImage(this, "imgBird");
  imgBird->SetBounds(758, 4, 33, 33);
  imgBird->SetVisible(false);
  imgBird->SetPicture(BirdPicture());
  ComponentNames << "imgBird";

  lblExplane = NewLabel("lblExplane", 184, 44, 390, 120, true);
  lblExplane->SetWordWrap(true);
  lblExplane->SetFont(WithColor(Comic17, clBlack));
  lblExplane->SetCaption("Zoftrel er et lille to personers spil. Hver spiller har tre kralls, "
                         "som kan dreje, køre fremad og skyde. Og så gælder det om at skyde den "
                         "anden spillers kralls ned. Krallsene styres med nogle få taster:");

  struct Row {
    TLabel **label;
    const char *name;
    int left, top, width, height;
    TColor color;
    const char *caption;
  };
  const Row rows[] = {
      {&lblLetter, "lblLetter", 430, 248, 10, 24, clBlue, "4"},
      {&Label1, "Label1", 492, 280, 107, 24, clBlue, "Drej til højre"},
      {&Label2, "Label2", 430, 280, 10, 24, clBlue, "6"},
      {&Label3, "Label3", 492, 248, 125, 24, clBlue, "Drej til venstre"},
      {&Label4, "Label4", 430, 344, 10, 24, clBlue, "8"},
      {&Label5, "Label5", 494, 346, 41, 24, clBlue, "Skyd"},
      {&Label6, "Label6", 430, 312, 49, 24, clBlue, "4 og 6"},
      {&Label7, "Label7", 492, 312, 60, 24, clBlue, "Fremad"},
      {&Label8, "Label8", 430, 376, 10, 24, clBlue, "0"},
      {&Label9, "Label9", 494, 378, 157, 24, clBlue, "Skift mellem kralls"},
      {&Label10, "Label10", 154, 248, 12, 24, clMaroon, "S"},
      {&Label11, "Label11", 216, 284, 107, 24, clMaroon, "Drej til højre"},
      {&Label12, "Label12", 154, 282, 10, 24, clMaroon, "F"},
      {&Label13, "Label13", 216, 252, 125, 24, clMaroon, "Drej til venstre"},
      {&Label14, "Label14", 154, 348, 11, 24, clMaroon, "E"},
      {&Label15, "Label15", 218, 350, 41, 24, clMaroon, "Skyd"},
      {&Label16, "Label16", 154, 316, 51, 24, clMaroon, "S og F"},
      {&Label17, "Label17", 216, 316, 60, 24, clMaroon, "Fremad"},
      {&Label18, "Label18", 154, 380, 12, 24, clMaroon, "Z"},
      {&Label19, "Label19", 218, 382, 157, 24, clMaroon, "Skift mellem kralls"},
      {&Label20, "Label20", 426, 170, 227, 72, clBlue,
       "Blå spiller (På det numeriske tastatur, Num Lock tasten skal være nede):"},
      {&Label21, "Label21", 154, 188, 89, 24, clMaroon, "Rød spiller:"},
  };
  for (const Row &r : rows) {
    TLabel *label = NewLabel(r.name, r.left, r.top, r.width, r.height, true);
    if (label->Name == "Label20")
      label->SetWordWrap(true);
    label->SetFont(WithColor(Comic17, r.color));
    label->SetCaption(QString::fromUtf8(r.caption));
    *r.label = label;
  }

  // The background music: hidden; its button bar is never built.
  BackgroundMusic = std::make_unique<TMediaPlayer>();
  BackgroundMusic->Visible = false;
  BackgroundMusic->AutoOpen = true;
  BackgroundMusic->FileName = "BackgroundMusic.mid";
  ComponentNames << "BackgroundMusic";

  btnStart = NewButton("btnStart", 254, 453, 111, 45, "Start game");
  btnStart->OnClick = [this] { btnStartClick(); };
  DefaultButton = btnStart;
  btnExit = NewButton("btnExit", 354, 508, 89, 27, "Exit");
  btnExit->OnClick = [this] { btnExitClick(); };
  StatusBar1 =
      NewStatusBar("StatusBar1", 0, 508, 349, 26, "Rød spillers taster: S, F, E og Z", clMaroon);
  StatusBar2 = NewStatusBar("StatusBar2", 446, 508, 346, 26,
                            "Blå spillers taster: 4, 6, 8 og 0 (numeriske tastatur)", clBlue);
  cmdAbout = NewButton("cmdAbout", 432, 452, 111, 45, "About...");
  cmdAbout->OnClick = [this] { cmdAboutClick(); };
  setTabOrder(btnStart, btnExit);
  setTabOrder(btnExit, cmdAbout);

  Timer1 = std::make_unique<TTimer>();
  Timer1->SetEnabled(false);
  Timer1->SetInterval(50);
  Timer1->OnTimer = [this] { Timer1Timer(); };
  ComponentNames << "Timer1";

  // The sound device opens here; the library reads its sounds from the
  // block stored with it.
  SfxAudio1 = std::make_unique<TSfxAudio>();
  ComponentNames << "SfxAudio1";
  SfxSoundLib1 = std::make_unique<TSfxSoundLib>();
  ComponentNames << "SfxSoundLib1";
  ReadEmbeddedSounds(*SfxSoundLib1);
}

// Runs once every component has been read: the audio output's link to the
// library is resolved, which builds one buffer per sound, then each
// component finishes loading in creation order (the music opens its file).
void TForm1::FinishLoading() {
  EndLoading();
  SfxAudio1->SetSoundLibrary(SfxSoundLib1.get());
  BackgroundMusic->Loaded();
  SfxAudio1->SetMusic(BackgroundMusic.get());
}

void TForm1::FormCreate() {
  MarkerMusicCounter = 0;

  const int screenW = Application.ScreenWidth(), screenH = Application.ScreenHeight();
  const int H = screenH > 780 ? 720 : screenH - 60;
  const int W = screenW > 1050 ? 1020 : screenW - 20;
  SetOuterBounds(Round((screenW - W) * 0.5), Round((screenH - H) * 0.5), W, H);

  BallCount = 20;
  PlayerCount = 2;
  TanksPerPlayer = 3;
  LineCount = 6;
  BallRange = Round(W * (1.0 / 14));

  const int half = Round(W * 0.5);
  StatusBar1->setGeometry(0, H - 50, half - 50, StatusBar1->height());
  StatusBar2->setGeometry(half + 50, H - 50, half - 50, StatusBar2->height());
  btnExit->move(half - 45, StatusBar2->y());

  lblBluePoints->SetLeft(W - lblBluePoints->Width() - 20);
  lblExplane->SetLeft(Round((W - lblExplane->Width()) * 0.5));

  const int C = half;
  for (TLabel *l : {Label21, Label10, Label12, Label14, Label16, Label18})
    l->SetLeft(C - 250);
  for (TLabel *l : {Label11, Label13, Label17, Label15, Label19})
    l->SetLeft(C - 180);
  for (TLabel *l : {Label20, Label2, Label4, Label6, Label8, lblLetter})
    l->SetLeft(C + 50);
  for (TLabel *l : {Label1, Label3, Label5, Label7, Label9})
    l->SetLeft(C + 120);

  btnStart->move(C - btnStart->width() - 30, H - 150);
  cmdAbout->move(C + 30, H - 150);

  DebugMode = Application.ParamStr(1) == "debug";
  if (DebugMode) {
    lblBlueHits->Show();
    lblRedHits->Show();
    lblBlackHits->Show();
  }

  // Shown now, so that the tanks drawn by the first reset land on a
  // visible window.
  show();
  SetActiveControl(btnStart);

  CreateGameObjects();
  ResetGame();
}

void TForm1::ShowMarker(TImage *marker, TPointF at) {
  marker->SetBounds(Round(at.X - marker->Width() * 0.5), Round(at.Y - marker->Height() * 0.5),
                    marker->Width(), marker->Height());
  marker->Show();
}

void TForm1::PlaySound(int32_t index) {
  SfxAudio1->Sound(index)->Play();
}

void TForm1::LoopSound(int32_t index) {
  SfxAudio1->Sound(index)->PlayLooped();
}

void TForm1::StopSound(int32_t index) {
  SfxAudio1->Sound(index)->Stop();
}

void TForm1::RestartSound(int32_t index) {
  TSfxSoundBuffer *sound = SfxAudio1->Sound(index);
  sound->Stop();
  sound->SetPosition(0);
  sound->Play();
}

void TForm1::Beep() {
  Application.Beep();
}

void TForm1::ShowMarker(TMarker marker, TPointF at) {
  ShowMarker(marker == TMarker::Star ? imgStar : imgBird, at);
}

void TForm1::SetScoreCaption(int32_t player, std::string_view caption) {
  (player == 1 ? lblRedPoints : lblBluePoints)
      ->SetCaption(QString::fromUtf8(caption.data(), qsizetype(caption.size())));
}

void TForm1::GameOver() {
  // A network game's frames go on: either side may start the next game.
  if (!NetGame)
    Timer1->SetEnabled(false);
  BackToStart(TFlow::Over);
  BackgroundMusic->Stop();
}

void TForm1::BackToStart(TFlow flow) {
  Flow = flow;
  if (flow != TFlow::Over) {
    ResetGame();
    NewComputerGames();
    btnStart->SetCaption("Start game");
  }
  if (flow == TFlow::Ready) {
    btnStart->repaint();
    return;
  }
  btnStart->show();
  cmdAbout->show();
  if (flow == TFlow::Instructions)
    for (TLabel *label : InstructionLabels())
      label->Show();
  SetActiveControl(btnStart);
}

bool TForm1::GameObjectsExist() const {
  return Players[1] != nullptr;
}

void TForm1::FormPaint() {
  if (!GameObjectsExist())
    return;
  for (int p = 1; p <= PlayerCount; ++p)
    for (int s = 1; s <= Players[p]->TankCount; ++s)
      Tanks[p][s]->Draw(false, false);
  for (int i = 1; i <= BallCount; ++i)
    if (Balls[i]->Life != 0)
      Balls[i]->Draw(false);
  for (int w = 1; w <= LineCount; ++w)
    Lines[w]->Draw(false);
}

void TForm1::FormKeyDown(uint16_t &key) {
  if (!GameObjectsExist())
    return;
  if (NetGame) {
    NetGame->KeyDown(key);
    return;
  }
  // No game runs while the start button is on view.
  if (GameRunning())
    GameKeyDown(key);
}

// Releases reach the active tank in every state of the game.
void TForm1::FormKeyUp(uint16_t &key) {
  if (!GameObjectsExist())
    return;
  if (NetGame)
    NetGame->KeyUp(key);
  else
    GameKeyUp(key);
}

std::vector<TLabel *> TForm1::InstructionLabels() const {
  return {lblExplane, lblLetter, Label1,  Label2,  Label3,  Label4,  Label5,  Label6,
          Label7,     Label8,    Label9,  Label10, Label11, Label12, Label13, Label14,
          Label15,    Label16,   Label17, Label18, Label19, Label20, Label21};
}

void TForm1::btnStartClick() {
  if (NetGame)
    NetGame->AskStart(TNetGame::Clock());
  else if (Flow == TFlow::Over)
    // The old walls stay on view until the next start.
    BackToStart(TFlow::Ready);
  else
    StartGame();
}

void TForm1::StartGame() {
  Flow = TFlow::Running;
  cmdAbout->hide();
  for (int w = 1; w <= LineCount; ++w)
    Lines[w]->Draw(true);
  PlaceWalls();
  for (TLabel *label : InstructionLabels())
    label->Hide();
  // The piece stands stopped at its start; the main loop starts it a few
  // ticks later.
  BackgroundMusic->Rewind();
  // A network game's frames keep their own time.
  if (!NetGame)
    Timer1->SetEnabled(true);
  btnStart->hide();
  btnStart->SetCaption("New game");
  SfxAudio1->Sound(0)->Play();
  for (int w = 1; w <= 6; ++w)
    Lines[w]->Draw(false);
  NewComputerGames();
}

void TForm1::Timer1Timer() {
  MainLoopStep();
}

void TForm1::StepGame() {
  MainLoopStep();
  if (Flow == TFlow::Over) {
    std::printf("game over at tick %d: red %d, blue %d\n", TickCount, Players[1]->Score,
                Players[2]->Score);
    std::fflush(stdout);
  }
}

void TForm1::MainLoopStep() {
  if (DebugMode) {
    // All three show blue tanks, whatever the labels' names say.
    lblBlueHits->SetCaption(QString::number(Tanks[2][1]->Motion));
    lblRedHits->SetCaption(QString::number(Tanks[2][2]->Motion));
    lblBlackHits->SetCaption(QString::number(Tanks[2][3]->Motion));
  }
  GameTick();
  if (imgStar->Visible()) {
    ++MarkerMusicCounter;
    if (MarkerMusicCounter % 4 == 0)
      imgStar->Hide();
  }
  if (imgBird->Visible()) {
    ++BirdCounter;
    if (BirdCounter % 10 == 0)
      imgBird->Hide();
  }
  // The music starts a few ticks after a game start and again after the
  // piece has played to its end.
  if (BackgroundMusic->Mode() == mdStopped) {
    ++MarkerMusicCounter;
    if (MarkerMusicCounter % 4 == 0)
      BackgroundMusic->Play();
  }
  RunComputers();
}

void TForm1::btnExitClick() {
  // The question pauses a running game; answered No, only a game that was
  // running goes on.
  const bool wasRunning = Timer1->Enabled();
  Timer1->SetEnabled(false);
  if (Flow == TFlow::Running)
    Flow = TFlow::Paused;
  if (NetGame)
    NetGame->Hold(TNetGame::Clock());
  if (Application.MessageDlg("Confirm", QString::fromUtf8("Ønsker du at forlade zoftrel ?"),
                             mtConfirmation,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
    // The other side hears that this one left.
    if (Net)
      Net->Close();
    Application.Terminate();
    return;
  }
  // The game goes on with the focus on the window, whichever button had
  // it: Enter and Space then press nothing during play. A network game's
  // frames run on the instruction screen too, where Start game keeps it.
  if (Flow == TFlow::Paused)
    Flow = TFlow::Running;
  if (NetGame) {
    NetGame->Release(TNetGame::Clock());
    NetWait->Wake();
    if (Flow == TFlow::Running)
      SetActiveControl(this);
  } else if (wasRunning) {
    Timer1->SetEnabled(true);
    SetActiveControl(this);
  }
}

void TForm1::cmdAboutClick() {
  if (!frmAbout)
    AboutBox = std::make_unique<TfrmAbout>();
  frmAbout->Show();
}

// Closing the window by its close box ends the program without a question.
void TForm1::closeEvent(QCloseEvent *event) {
  if (Net)
    Net->Close();
  event->accept();
  Application.Terminate();
}

bool TForm1::PlayNetwork(std::unique_ptr<TNetSession> session) {
  Net = std::move(session);
  Net->TickMs = Timer1->Interval();
  NetStatus = new QLineEdit(this);
  NetStatus->setReadOnly(true);
  NetStatus->setObjectName("NetStatus");
  NetStatus->setGeometry(Round(Width() * 0.5) - 300, 4, 600, 24);
  NetStatus->setFocusPolicy(Qt::ClickFocus);
  NetStatus->show();
  NetGame = std::make_unique<TNetGame>(*Net, *this);
  NetWait = new TNetWaiter(
      *NetGame, [this] { NetEnded(); }, this);
  NetCopy = new QPushButton("Copy", this);
  NetCopy->setObjectName("NetCopy");
  NetCopy->setGeometry(NetStatus->x() + NetStatus->width() + 4, 4, 56, 24);
  NetCopy->setFocusPolicy(Qt::NoFocus);
  NetCopy->setToolTip("Put the connect code on the clipboard");
  connect(NetCopy, &QPushButton::clicked, this, [this] {
    if (Net)
      QGuiApplication::clipboard()->setText(
          QString::fromStdString(Net->LocalSide == 1 ? Net->Code.Format() : ReplyText));
  });
  if (Net->LocalSide == 2) {
    // Hidden until there is a reply code to copy; the router's outside
    // address goes into it.
    if (TPortMapper::Enabled()) {
      OutsideAsked = true;
      Mapper = std::make_unique<TPortMapper>();
      Mapper->Start(
          0,
          [this](const TMapping &mapping) {
            QMetaObject::invokeMethod(
                this,
                [this, mapping] {
                  Outside = mapping;
                  OutsideAsked = false;
                  OfferReply();
                },
                Qt::QueuedConnection);
          },
          false);
    }
    return true;
  }
  NetReply = new QLineEdit(this);
  NetReply->setObjectName("NetReply");
  NetReply->setGeometry(NetStatus->x(), 32, NetStatus->width(), 24);
  NetReply->setPlaceholderText("The other player's reply code, if they have one: paste it here, "
                               "then Enter");
  NetReply->setFocusPolicy(Qt::ClickFocus);
  connect(NetReply, &QLineEdit::returnPressed, this,
          [this] { TakeReply(NetReply->text().toStdString()); });
  NetReply->show();
  NetCopy->show();
  if (!TPortMapper::Enabled()) {
    ShowCode("");
    return true;
  }
  // The window is there at once; the code follows with the router's
  // answer, within about 3 s.
  NetCopy->setEnabled(false);
  NetShow("Opening the port on your router\u2026");
  Mapper = std::make_unique<TPortMapper>();
  Mapper->Start(Net->Code.Port, [this](const TMapping &mapping) {
    QMetaObject::invokeMethod(
        this, [this, mapping] { HostMapped(mapping); }, Qt::QueuedConnection);
  });
  return true;
}

void TForm1::HostMapped(const TMapping &mapping) {
  if (!Net)
    return;
  bool secondNat = false;
  Net->Code.Addresses =
      TPortMapper::CodeAddresses(mapping, Net->Code.Port, Net->Code.Addresses, secondNat);
  const std::string port = std::to_string(Net->Code.Port);
  std::string note;
  if (!mapping.Mapped)
    note = "Your router opened no port (" + mapping.Failure +
           "). If the other player cannot join: forward UDP port " + port +
           " on your router to this machine, or play over IPv6, or both join one VPN.";
  else if (secondNat)
    note = "Your router opened port " + std::to_string(mapping.ExternalPort) + " (" +
           mapping.Method + "), but its outside address " + mapping.External +
           " is behind a second NAT (your provider's, or another router): a player outside may "
           "not reach you. Play over IPv6, or both join one VPN.";
  else if (mapping.External.empty())
    note = "Your router opened port " + std::to_string(mapping.ExternalPort) + " (" +
           mapping.Method + ") but did not say its outside address.";
  else
    note = "Your router opened port " + std::to_string(mapping.ExternalPort) + " (" +
           mapping.Method + ") on " + mapping.External + ".";
  std::fprintf(stderr, "zoftrel: %s\n", note.c_str());
  ShowCode(note);
}

void TForm1::ShowCode(const std::string &note) {
  std::printf("%s\n", Net->Code.Format().c_str());
  std::fflush(stdout);
  if (NetCopy)
    NetCopy->setEnabled(true);
  if (CodeBox) {
    CodeBox = false;
    auto *box = new QMessageBox(
        QMessageBox::Information, "Your connect code",
        QString::fromStdString("Send the other player this connect code:\n\n" + Net->Code.Format()),
        QMessageBox::NoButton, this);
    box->setObjectName("CodeBox");
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *copy = box->addButton("Copy", QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Close);
    connect(copy, &QPushButton::clicked, this, [this] {
      if (Net)
        QGuiApplication::clipboard()->setText(QString::fromStdString(Net->Code.Format()));
    });
    box->open();
  }
  // A joiner from the LAN may be in before the router has answered.
  if (Net->State == TNetState::Waiting)
    NetShow((note.empty() ? "" : note + " ") +
            "Waiting for the other player. Connect code: " + Net->Code.Format());
}

void TForm1::NetReplyWanted() {
  ReplyDue = true;
  OfferReply();
}

void TForm1::OfferReply() {
  if (!Net || !ReplyDue || OutsideAsked || !ReplyText.empty() || Net->State != TNetState::Joining)
    return;
  TReplyCode reply;
  reply.Port = Net->LocalPort();
  bool secondNat = false;
  reply.Addresses =
      TPortMapper::CodeAddresses(Outside, reply.Port, TConnectCode::LocalAddresses(), secondNat);
  ReplyText = reply.Format(Net->Code.Secret);
  std::printf("%s\n", ReplyText.c_str());
  std::fflush(stdout);
  std::fprintf(stderr,
               "zoftrel: no answer from the host yet; the host can paste this reply "
               "code: %s\n",
               ReplyText.c_str());
  NetCopy->show();
  NetShow("No answer from the host yet.");
}

void TForm1::TakeReply(const std::string &text) {
  if (!Net || Net->State != TNetState::Waiting)
    return;
  TReplyCode reply;
  std::string error;
  if (!TReplyCode::Parse(text, Net->Code.Secret, reply, error)) {
    std::fprintf(stderr, "zoftrel: reply code refused: %s\n", error.c_str());
    NetShow("That reply code is refused: " + error + ". Connect code: " + Net->Code.Format());
    return;
  }
  std::fprintf(stderr, "zoftrel: reply code taken: sending to the other player for 10 s\n");
  NetShow("Reply code taken: sending to the other player for 10 s. Connect code: " +
          Net->Code.Format());
  Net->Punch(reply, TNetGame::Clock());
  NetWait->Wake();
}

void TForm1::NetShow(const std::string &text) {
  if (NetReply && Net && Net->State != TNetState::Waiting)
    NetReply->hide();
  // A joiner's reply code stays in view while it waits.
  if (Net && Net->LocalSide == 2 && Net->State == TNetState::Joining && !ReplyText.empty()) {
    NetStatus->setText(
        QString::fromStdString(text + " Send the host your reply code: " + ReplyText));
    NetStatus->setCursorPosition(0);
    return;
  }
  NetStatus->setText(QString::fromStdString(text));
  NetStatus->setCursorPosition(0);
}

// Lost, left, refused, apart: the status line says why, and the window
// goes back to the instruction screen for a game at this keyboard.
void TForm1::NetEnded() {
  NetWait->deleteLater();
  NetWait = nullptr;
  // The port is closed: so is its mapping on the router.
  Mapper.reset();
  if (NetCopy)
    NetCopy->hide();
  if (NetReply)
    NetReply->hide();
  NetGame.reset();
  Net.reset();
  BackToStart(TFlow::Instructions);
}
