#include "ui/form.h"

#include "rtl/sysutils.h"
#include "sound/sfxassets.h"
#include "ui/about.h"
#include "ui/pictures.h"
#include "ui/winsys/application.h"

#include <QCloseEvent>
#include <chrono>
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
  SetClientSize(792, 535);
  move(180, 96);

  BeginLoading();
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
    if (computer && btnStart->isHidden())
      computer->Tick();
  // The game may also end while the computer presses its keys.
  if (!btnStart->isHidden())
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
  if (!Net)
    Timer1->SetEnabled(false);
  btnStart->show();
  cmdAbout->show();
  SetActiveControl(btnStart);
  BackgroundMusic->Stop();
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

// Which of a side's four keys a code is: right, left, shoot, switch; -1
// for none. Either set steers this machine's side in a network game.
static int NetKeyIndex(uint16_t key) {
  for (int p = 1; p <= kMaxPlayers; ++p) {
    const CPlayer *player = Players[p];
    const uint16_t keys[4] = {player->KeyRight, player->KeyLeft, player->KeyShoot,
                              player->KeySwitch};
    for (int i = 0; i < 4; ++i)
      if (keys[i] == key)
        return i;
  }
  return -1;
}

void TForm1::FormKeyDown(uint16_t &key) {
  if (Net && GameObjectsExist()) {
    if (const int i = NetKeyIndex(key); i >= 0 && btnStart->isHidden())
      Net->LocalEvent(uint8_t(evKeyDown | i));
    return;
  }
  // No game runs while the start button is on view.
  if (!btnStart->isHidden() || !GameObjectsExist())
    return;
  GameKeyDown(key);
}

// Releases reach the active tank in every state of the game.
void TForm1::FormKeyUp(uint16_t &key) {
  if (!GameObjectsExist())
    return;
  if (Net) {
    if (const int i = NetKeyIndex(key); i >= 0)
      Net->LocalEvent(uint8_t(evKeyUp | i));
    return;
  }
  GameKeyUp(key);
}

std::vector<TLabel *> TForm1::InstructionLabels() const {
  return {lblExplane, lblLetter, Label1,  Label2,  Label3,  Label4,  Label5,  Label6,
          Label7,     Label8,    Label9,  Label10, Label11, Label12, Label13, Label14,
          Label15,    Label16,   Label17, Label18, Label19, Label20, Label21};
}

void TForm1::btnStartClick() {
  if (Net) {
    // Both games start on the frame that carries the press.
    if (Net->State == TNetState::Connected) {
      Net->LocalEvent(evStart);
      Net->Flush(NetClock());
    }
    return;
  }
  if (btnStart->Caption() == "New game") {
    // The old walls stay on view until the next start.
    ResetGame();
    NewComputerGames();
    btnStart->SetCaption("Start game");
    btnStart->repaint();
    return;
  }
  StartGame();
}

void TForm1::StartGame() {
  cmdAbout->hide();
  for (int w = 1; w <= LineCount; ++w)
    Lines[w]->Draw(true);
  PlaceWalls();
  for (TLabel *label : InstructionLabels())
    label->Hide();
  // The piece stands stopped at its start; the main loop starts it a few
  // ticks later.
  BackgroundMusic->Rewind();
  Timer1->SetEnabled(true);
  btnStart->hide();
  btnStart->SetCaption("New game");
  SfxAudio1->Sound(0)->Play();
  for (int w = 1; w <= 6; ++w)
    Lines[w]->Draw(false);
  NewComputerGames();
}

void TForm1::Timer1Timer() {
  if (Net) {
    NetFrameDue = true;
    NetFrame();
    return;
  }
  MainLoopStep();
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
  if (Net && Net->State == TNetState::Connected) {
    // The other side pauses on the frame that carries the question.
    Net->LocalEvent(evPause);
    Net->Flush(NetClock());
  }
  if (Application.MessageDlg("Confirm", QString::fromUtf8("Ønsker du at forlade zoftrel ?"),
                             mtConfirmation,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
    // The other side hears that this one left.
    if (Net)
      Net->Close();
    Application.Terminate();
    return;
  }
  if (Net && Net->State == TNetState::Connected) {
    Net->LocalEvent(evResume);
    Net->Flush(NetClock());
  }
  if (wasRunning) {
    Timer1->SetEnabled(true);
    // The game goes on with the focus on the window, whichever button had
    // it: Enter and Space then press nothing during play. A network
    // game's frames run on the instruction screen too, where Start game
    // keeps it.
    if (!Net || btnStart->isHidden())
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

int64_t TForm1::NetClock() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool TForm1::PlayNetwork(std::unique_ptr<TNetSession> session) {
  Net = std::move(session);
  NetworkGame = true;
  Net->TickMs = Timer1->Interval();
  const uint16_t field[5] = {uint16_t(Width()), uint16_t(Height()), uint16_t(ClientWidth()),
                             uint16_t(ClientHeight()), uint16_t(StatusBarHeight())};
  std::copy(field, field + 5, Net->Field);
  NetStatus = new QLineEdit(this);
  NetStatus->setReadOnly(true);
  NetStatus->setObjectName("NetStatus");
  NetStatus->setGeometry(Round(Width() * 0.5) - 300, 4, 600, 24);
  NetStatus->setFocusPolicy(Qt::ClickFocus);
  NetStatus->show();
  NetPoll = new QTimer(this);
  NetPoll->setTimerType(Qt::PreciseTimer);
  connect(NetPoll, &QTimer::timeout, this, [this] { NetPolled(); });
  NetPoll->start(5);
  if (Net->LocalSide == 1) {
    const QString code = QString::fromStdString(Net->Code.Format());
    std::printf("%s\n", Net->Code.Format().c_str());
    std::fflush(stdout);
    NetShow("Waiting for the other player. Connect code: " + code);
  } else {
    NetShow("Joining...");
  }
  return true;
}

void TForm1::NetShow(const QString &text) {
  NetStatus->setText(text);
  NetStatus->setCursorPosition(0);
}

void TForm1::NetPolled() {
  if (!Net)
    return;
  Net->Poll(NetClock());
  if (Net->State != NetShown) {
    NetShown = Net->State;
    switch (Net->State) {
    case TNetState::Connected: {
      // The field is the host's: a window of another size would not show
      // the same game.
      const uint16_t mine[5] = {uint16_t(Width()), uint16_t(Height()), uint16_t(ClientWidth()),
                                uint16_t(ClientHeight()), uint16_t(StatusBarHeight())};
      if (Net->LocalSide == 2 && !std::equal(mine, mine + 5, Net->Field)) {
        NetShow(QString("The host's window is %1 x %2, this one %3 x %4: a network game needs "
                        "the same size on both screens")
                    .arg(Net->Field[0])
                    .arg(Net->Field[1])
                    .arg(mine[0])
                    .arg(mine[1]));
        std::fprintf(stderr, "zoftrel: %s\n", NetStatus->text().toLocal8Bit().constData());
        Net->Close();
        NetShown = TNetState::Closed;
        return;
      }
      // Both start from the host's battlefield.
      SetRandSeed(Net->Seed);
      TickCount = 0;
      ResetGame();
      Timer1->SetEnabled(true);
      NetShow(QString("Connected: you play %1. Round trip %2 ms, keys take effect %3 ticks "
                      "later.")
                  .arg(Net->LocalSide == 1 ? "red" : "blue")
                  .arg(Net->RoundTripMs)
                  .arg(Net->Delay));
      break;
    }
    case TNetState::Waiting:
    case TNetState::Joining:
    case TNetState::Closed:
      break;
    default: {
      // Lost, left, refused, apart: the network game ends, the status
      // line says why, and the window goes back to the instruction screen
      // for a game at this keyboard.
      Timer1->SetEnabled(false);
      NetShow(QString::fromStdString(Net->Message));
      std::fprintf(stderr, "zoftrel: %s\n", Net->Message.c_str());
      NetPoll->stop();
      Net.reset();
      NetworkGame = false;
      NetFrameDue = false;
      NetPaused[1] = NetPaused[2] = false;
      ResetGame();
      NewComputerGames();
      btnStart->SetCaption("Start game");
      btnStart->show();
      cmdAbout->show();
      for (TLabel *label : InstructionLabels())
        label->Show();
      SetActiveControl(btnStart);
      return;
    }
    }
  } else if (Net->State == TNetState::Waiting && !Net->Message.empty() &&
             !NetStatus->text().startsWith(QString::fromStdString(Net->Message))) {
    // A joiner with another build was refused: say so, and keep waiting.
    std::fprintf(stderr, "zoftrel: %s\n", Net->Message.c_str());
    NetShow(QString::fromStdString(Net->Message +
                                   ". Still waiting; connect code: " + Net->Code.Format()));
  }
  // A frame that waited for the other side runs as soon as it can.
  if (NetFrameDue && Timer1->Enabled())
    NetFrame();
}

void TForm1::NetFrame() {
  if (!Net || !Net->FrameReady())
    return;
  NetFrameDue = false;
  const TNetFrame frame = Net->TakeFrame(NetClock());
  bool running = btnStart->isHidden();
  for (int s = 1; s <= kMaxPlayers; ++s) {
    for (int e = 0; e < frame.Side[s].Count; ++e) {
      const uint8_t ev = frame.Side[s].Events[e];
      if (ev == evStart && !running) {
        // Both machines draw the same walls and tanks for every game.
        SetRandSeed(Net->Seed ^ (NetGames++ * 0x9E3779B9u));
        TickCount = 0;
        ResetGame();
        Net->UpdateDelay();
        StartGame();
        running = true;
      } else if (ev == evPause || ev == evResume) {
        NetPaused[s] = ev == evPause;
        if (s != Net->LocalSide)
          NetShow(NetPaused[s] ? "Paused: the other player has the Exit question open"
                               : "The other player goes on");
      }
    }
  }
  for (int s = 1; s <= kMaxPlayers; ++s) {
    const CPlayer *p = Players[s];
    const uint16_t keys[4] = {p->KeyRight, p->KeyLeft, p->KeyShoot, p->KeySwitch};
    for (int e = 0; e < frame.Side[s].Count; ++e) {
      const uint8_t ev = frame.Side[s].Events[e];
      if (ev <= 0x03 && running)
        GameKeyDown(keys[ev]);
      else if (ev >= evKeyUp && ev <= evKeyUp + 3)
        GameKeyUp(keys[ev - evKeyUp]);
    }
  }
  if (running && !NetPaused[1] && !NetPaused[2]) {
    MainLoopStep();
    if (!btnStart->isHidden()) {
      std::printf("game over at tick %d: red %d, blue %d\n", TickCount, Players[1]->Score,
                  Players[2]->Score);
      std::fflush(stdout);
    }
  }
  TStateHash state;
  state.Capture();
  Net->FrameDone(state);
}
