#include "ui/form_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/controls.h"
#include "app/key_bindings.h"
#include "app/panels.h"
#include "app/reset.h"
#include "app/protocol.h"
#include "app/replay.h"
#include "net/data_file.h"
#include "net/host_port.h"
#include "logbook/logbook.h"
#include "ui/form_settings.h"
#include "ui/key_codes.h"
#include "ui/logbook_window.h"
#include "vehicle/vehicles_dat.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"

namespace velmora::ui {
namespace {

constexpr uint32_t kFormColour = 6332624;     // red in the low byte
constexpr int kTickMilliseconds = 10;
constexpr int kMissionPause = 100;            // ms before a mission choice is sent
constexpr int kGridColumnWidth = 233;         // px
constexpr int kGridRowHeight = 13;            // px
constexpr int32_t kRequiredVertexBuffers = 20000;
constexpr int kSilenceCheckMilliseconds = 500;  // how often the server's silence is looked at

const char* const kVideoRows[] = {"4ヶ所から録画されています。", "操作を選択してください。",
                                  "・停止", "・高速逆再生", "・逆再生", "・ポーズ", "・再生",
                                  "・高速再生", "・カメラ切替え"};
constexpr int kVideoRowCount = state::kVideoRowsPlayback;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// 3D frames a second for a cap of fps, 1..100; 0: the screen's rate.
int32_t FrameRate(int32_t fps) {
  if (fps != 0) return fps;
  const QScreen* primary = QGuiApplication::primaryScreen();
  return cockpit::FramesPerSecondFor(primary != nullptr ? primary->refreshRate() : 0);
}

uint32_t ShiftState(Qt::KeyboardModifiers modifiers) {
  uint32_t shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= app::kShiftKey;
  if (modifiers & Qt::AltModifier) shift |= app::kAltKey;
  if (modifiers & Qt::ControlModifier) shift |= app::kCtrlKey;
  return shift;
}

void BlackPanel(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, Qt::black);
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::Text, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::white);
  widget->setPalette(palette);
}

QTableWidget* MakeGrid(QWidget* parent, const char* name, const QRect& geometry, int rows) {
  auto* grid = new QTableWidget(rows, 1, parent);
  grid->setObjectName(name);
  grid->setGeometry(geometry);
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->setColumnWidth(0, kGridColumnWidth);
  grid->verticalHeader()->setMinimumSectionSize(1);
  grid->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  grid->setShowGrid(false);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setFrameShape(QFrame::NoFrame);
  grid->setWordWrap(false);
  BlackPanel(grid);
  return grid;
}

// A data file that failed to load, in the words of the interface: which file
// and which line; the reason itself goes to standard error.
std::string DataFileFault(const net::DataFileError& error) {
  if (error.Line <= 0) return error.File + " を読めません。";
  return error.File + " の " + std::to_string(error.Line) + " 行目に誤りがあります。";
}

// The link of a banner as the desktop opens it: a URL, or a local file.
QUrl LinkUrl(const std::string& link) { return QUrl::fromUserInput(Text(link)); }

}  // namespace

// What the tick hands to the frame and the lock-on, besides the session's
// own state to the server.
class TFormMain::THooks final : public client::TSessionHooks {
 public:
  THooks(TFormMain& form, client::TClientSession& session)
      : client::TSessionHooks(session), form_(form) {}
  void DrawFrame() override { form_.TickFrame(); }
  // The lock-on acts on every tick; its box goes onto a freshly drawn view only.
  void LockOn() override {
    const bool pixels = form_.pixelsThisTick_;
    app::LockOnStep(form_.State(), pixels ? &form_.ListBoxView->Canvas() : nullptr,
                    form_.ListBoxView->width(), form_.ListBoxView->height(), form_.Now());
    if (pixels) form_.ListBoxView->update();
  }

 private:
  TFormMain& form_;
};

// The window's side of the session: the requests only a window carries out,
// the model mirrored after each core call, and the faults the core could not
// get past, which end the program with a clear message.
class TFormMain::TShell final : public client::TSessionShell {
 public:
  explicit TShell(TFormMain& form) : form_(form) {}
  bool CarryOut(state::TShellRequests& requests) override {
    form_.CarryOutWindowRequests(requests);
    return true;
  }
  void Mirror() override { form_.ApplyModel(); }
  void Fault(const std::string& what, bool inRecovery) override {
    std::fprintf(stderr, "velmora: unexpected fault%s: %s\n", inRecovery ? " in the recovery" : "",
                 what.c_str());
  }
  bool FaultPersists(const std::string& /*what*/) override {
    state::TMainState& s = form_.State();
    s.Requests.ErrorBoxes.push_back("内部エラーが続けて発生したため、終了します。");
    s.Requests.Close = true;
    return true;
  }

 private:
  TFormMain& form_;
};

TFormMain::TFormMain(vehicle::RendererApi& renderer, TFormHelp& help, TStartOptions options,
                     TJoystick* joystick)
    : QWidget(nullptr, Qt::Window),
      renderer_(renderer),
      help_(help),
      options_(std::move(options)),
      settings_(LoadSettings()),
      joystick_(joystick),
      shell_(std::make_unique<TShell>(*this)),
      session_(std::make_unique<client::TClientSession>(
          *shell_,
          client::TSessionConfig{options_.CommandLine.Host, options_.CommandLine.Port,
                                 options_.CommandLine.WorldText, options_.CommandLine.WorldNo, {}},
          options_.Clock)),
      frame_(std::make_unique<cockpit::TFrameContext>()),
      hooks_(std::make_unique<THooks>(*this, *session_)),
      renderScale_(options_.CommandLine.RenderScale),
      pageView_{settings_.RenderScale, settings_.FullScreen} {
  setObjectName("FormMain");
  setWindowTitle("Velmora");
  setMinimumSize(kClientWidth, kClientHeight);
  resize(kClientWidth, kClientHeight);
  QFont font("Noto Sans CJK JP");
  font.setPixelSize(12);
  setFont(font);
  // Other top-level windows (the help form, message boxes) do not inherit a
  // form's font: the whole application gets it.
  QApplication::setFont(font);
  if (options_.CommandLine.FrameStats) meter_ = std::make_unique<TFrameMeter>(renderer_);
  help_.ShowKeys(settings_.Keys, helpKeys_);
  if (joystick_ != nullptr) {
    // A device gets the mapping saved for its GUID whenever it is opened.
    joystick_->LoadMapping = [this](const std::string& guid, const app::TJoystickMapping& defaults) {
      if (options_.Settings == nullptr) return defaults;
      std::vector<std::string> problems;
      const app::TJoystickMapping mapping = options_.Settings->LoadJoystick(guid, defaults, problems);
      for (const std::string& problem : problems) State().Log(problem);
      return mapping;
    };
    joystick_->Choose(settings_.JoystickDevice);
  }
  drawCost_ = std::make_unique<TDrawCost>(meter_ ? meter_->Renderer() : renderer_);
  fpsAsked_ = options_.CommandLine.Fps;
  ApplyFrameRate();
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ToQColor(kFormColour));
  setPalette(palette);
  setAutoFillBackground(true);
  BuildComponents();
  // The logbook: a user's program only, never one run headless by a test.
  if (!options_.Headless) {
    logbook_ = std::make_unique<TLogbookShell>(
        State(), this, ListBoxView,
        logbook::DefaultPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
        options_.CommandLine.Host + ":" + std::to_string(options_.CommandLine.Port));
  }

  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
}

app::TUserSettings TFormMain::LoadSettings() {
  if (options_.Settings == nullptr) return {};
  app::TUserSettings saved = options_.Settings->Load(settingsProblems_);
  FillFromSettings(options_.CommandLine, saved);
  return saved;
}

void TFormMain::ApplySettings(TSettingsPage page) {
  switch (page) {
    case TSettingsPage::Keys:
      help_.ShowKeys(settings_.Keys, helpKeys_);
      break;
    case TSettingsPage::Sound:
      options_.CommandLine.Volume = settings_.Sound.Master;  // the user's choice now wins
      soundOutput_.SetVolume(settings_.Sound.Master / 100.0);
      ApplySoundLevels();
      break;
    case TSettingsPage::View:
      fpsAsked_ = settings_.Fps;
      // Only what the page changed: a flag of this run holds until then.
      if (settings_.RenderScale != pageView_.RenderScale) {
        renderScale_ = cockpit::TRenderScale(settings_.RenderScale);
        ApplyRenderScale();
      }
      ApplyFrameRate();
      if (settings_.FullScreen != pageView_.FullScreen && settings_.FullScreen != FullScreen()) {
        ToggleFullScreen();
      }
      pageView_ = {settings_.RenderScale, settings_.FullScreen};
      break;
    case TSettingsPage::Joystick:
    case TSettingsPage::Connection:
      break;  // the joystick takes its mapping itself; the connection is the next start's
  }
}

void TFormMain::ShowSettings() {
  if (!settingsForm_) {
    TSettingsStore* store = options_.Settings;
    if (store == nullptr) {
      // Without a file the window still works, for this run only.
      unsavedStore_ = std::make_unique<TSettingsStore>(QString());
      store = unsavedStore_.get();
    }
    settingsForm_ = std::make_unique<TFormSettings>(settings_, *store, joystick_,
                                                    [this](TSettingsPage page) { ApplySettings(page); });
  }
  settingsForm_->show();
  settingsForm_->raise();
  settingsForm_->activateWindow();
}

TFormMain::~TFormMain() {
  if (!closed_) FormClose();
}

void TFormMain::BuildComponents() {
  ListBoxView =
      new TCanvasWidget(this, "ListBoxView", QRect(0, 0, 1017, 577), true);
  StringGridMission = MakeGrid(this, "StringGridMission", QRect(0, 580, 233, 161), 1);
  ListBoxPFD = new TCanvasWidget(this, "ListBoxPFD", QRect(240, 580, 265, 161));
  ListBoxIndicator = new TCanvasWidget(this, "ListBoxIndicator", QRect(288, 588, 145, 145));
  ListBoxNavi = new TCanvasWidget(this, "ListBoxNavi", QRect(512, 580, 161, 161));
  StringGridDest = MakeGrid(this, "StringGridDest", QRect(512, 580, 161, 161), 2);
  StringGridVideo = MakeGrid(this, "StringGridVideo", QRect(512, 580, 161, 161), 2);
  ListBoxPower = new TCanvasWidget(this, "ListBoxPower", QRect(680, 580, 49, 161));
  MemoMessage = new QPlainTextEdit(this);
  MemoMessage->setObjectName("MemoMessage");
  MemoMessage->setGeometry(736, 580, 280, 137);
  MemoMessage->setReadOnly(true);
  MemoMessage->setMaximumBlockCount(static_cast<int>(state::kMaxLogLines));
  BlackPanel(MemoMessage);
  FollowLog();
  EditChatInput = new QLineEdit(this);
  EditChatInput->setObjectName("EditChatInput");
  EditChatInput->setGeometry(736, 719, 239, 20);
  BlackPanel(EditChatInput);
  ButtonChat = new QPushButton("発言", this);
  ButtonChat->setObjectName("ButtonChat");
  ButtonChat->setGeometry(976, 718, 40, 23);
  ButtonChat->setDefault(true);

  ListBoxPFD->hide();
  ListBoxIndicator->hide();
  ListBoxNavi->hide();
  ListBoxPower->hide();

  QWidget* const order[] = {ListBoxView,    StringGridMission, ListBoxPFD,   ListBoxIndicator,
                            ListBoxNavi,    StringGridDest,    StringGridVideo, ListBoxPower,
                            MemoMessage,    EditChatInput,     ButtonChat};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  for (QWidget* widget : order) widget->installEventFilter(this);

  TimerInterval = new QTimer(this);
  TimerInterval->setObjectName("TimerInterval");
  TimerInterval->setTimerType(Qt::PreciseTimer);
  TimerInterval->setInterval(100);
  connect(TimerInterval, &QTimer::timeout, this, [this] { TimerIntervalTimer(); });

  ClientSocket = &session_->Socket();

  // A server that stops answering without closing the connection.
  TimerSilence = new QTimer(this);
  TimerSilence->setObjectName("TimerSilence");
  TimerSilence->setInterval(kSilenceCheckMilliseconds);
  connect(TimerSilence, &QTimer::timeout, this, [this] {
    if (ClientSocket->state() != QAbstractSocket::ConnectedState) return;
    RunCore([&] { app::ServerSilence(State(), session_->SilentMs()); });
  });

  connect(StringGridMission, &QTableWidget::cellClicked, this,
          [this](int, int) { StringGridMissionClick(); });
  connect(StringGridDest, &QTableWidget::cellClicked, this,
          [this](int, int) { StringGridDestClick(); });
  // The user's row choice is the model's selected row, so mirroring the
  // model does not move it back.
  connect(StringGridMission, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (!syncing_ && row >= 0) State().MissionRow = row;
  });
  connect(StringGridDest, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (!syncing_ && row >= 0) State().DestRow = row;
  });
  connect(StringGridVideo, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (!syncing_ && row >= 0) State().VideoRow = row;
  });
  connect(StringGridVideo, &QTableWidget::cellClicked, this,
          [this](int, int) { StringGridVideoClick(); });
  connect(ButtonChat, &QPushButton::clicked, this, [this] { ButtonChatClick(); });
  connect(EditChatInput, &QLineEdit::returnPressed, this, [this] { ButtonChatClick(); });

  ListBoxNavi->OnMouseUp = [this](int, int) {
    RunCore([this] { app::ListBoxNaviMouseUp(State()); });
  };
  ListBoxView->OnMouseDown = [this](int x, int y) {
    RunCore([&] {
      app::ListBoxViewMouseDown(State(), x, y, ListBoxView->width(), ListBoxView->height());
    });
  };
  ListBoxView->OnPaint = [this] { FormPaint(); };

  view_.Present = &TFormMain::Present;
  view_.Context = this;
  ApplyLayout();
}

void TFormMain::ApplyLayout() {
  const app::TWindowLayout l = app::LayoutWindow(width(), height());
  const double dpr = devicePixelRatioF();
  const auto place = [](const app::TRect& r) { return QRect(r.X, r.Y, r.Width, r.Height); };
  // The instruments draw in their sizes at the smallest window; the view
  // draws in its own logical pixels.
  bool fresh = ListBoxView->Place(place(l.View), place(l.View).size(), dpr);
  fresh |= ListBoxPFD->Place(place(l.PFD), QSize(265, 161), dpr);
  fresh |= ListBoxIndicator->Place(place(l.Indicator), QSize(145, 145), dpr);
  fresh |= ListBoxNavi->Place(place(l.Navi), QSize(161, 161), dpr);
  fresh |= ListBoxPower->Place(place(l.Power), QSize(49, 161), dpr);
  // The panels' text and rows grow with the row.
  QFont text = font();
  text.setPixelSize(app::ScalePanel(l.PanelScale, font().pixelSize()));
  for (QTableWidget* grid : {StringGridMission, StringGridDest, StringGridVideo}) {
    grid->setFont(text);
    grid->verticalHeader()->setDefaultSectionSize(app::ScalePanel(l.PanelScale, kGridRowHeight));
    grid->setColumnWidth(0, app::ScalePanel(l.PanelScale, kGridColumnWidth));
  }
  StringGridMission->setGeometry(place(l.Mission));
  StringGridDest->setGeometry(place(l.Navi));
  StringGridVideo->setGeometry(place(l.Navi));
  MemoMessage->setFont(text);
  EditChatInput->setFont(text);
  ButtonChat->setFont(text);
  MemoMessage->setGeometry(place(l.Memo));
  EditChatInput->setGeometry(place(l.ChatInput));
  ButtonChat->setGeometry(place(l.ChatButton));
  frame_->ViewWidth = l.View.Width;
  frame_->ViewHeight = l.View.Height;
  // A canvas made anew is black: each instrument is drawn on it whole again.
  if (fresh) {
    frame_->PFDShows = frame_->IndicatorShows = frame_->NaviShows = frame_->PowerShows = 0;
  }
  ApplyRenderScale();
}

void TFormMain::ApplyFrameRate() {
  pacer_.SetRate(std::max(1, FrameRate(fpsAsked_) / renderScale_.FrameDivisor()));
}

void TFormMain::ApplyRenderScale() {
  const double dpr = devicePixelRatioF();
  const int32_t percent = renderScale_.Percent();
  view_.Width = cockpit::ScaledSide(ListBoxView->width(), dpr, percent);
  view_.Height = cockpit::ScaledSide(ListBoxView->height(), dpr, percent);
}

void TFormMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplyLayout();
}

bool TFormMain::FullScreen() const { return isFullScreen() || fullScreen_; }

void TFormMain::RememberWindowMode() {
  settings_.FullScreen = pageView_.FullScreen = FullScreen();
  if (settingsForm_) settingsForm_->ShowWindowMode();
  if (options_.Settings == nullptr) return;
  std::string error;
  if (!options_.Settings->Save(app::ViewEntries(settings_), error)) State().Log(error);
}

void TFormMain::ToggleFullScreen() {
  // Where no window manager honours the states (a bare X server), the
  // window takes the screen, and its place back, by itself; the toolkit's
  // state then need not say full screen, so the form keeps its own.
  if (isFullScreen() || fullScreen_) {
    fullScreen_ = false;
    if (maximisedBeforeFullScreen_) {
      showMaximized();
    } else {
      showNormal();
      setGeometry(windowed_);
    }
    return;
  }
  fullScreen_ = true;
  maximisedBeforeFullScreen_ = isMaximized();
  windowed_ = geometry();
  showFullScreen();
  if (const QScreen* place = screen()) setGeometry(place->geometry());
}

// The memo follows its new lines while the user has not scrolled up. Its own
// test for that looks where its last line is before each new one, and fails
// once the scroll bar first appears: that narrows the text, wrapped lines take
// more lines after the memo was scrolled to its end, and the last line stays
// below the view. So the user's own scrolling decides: scrolled up, the memo
// stays put; at the bottom, each change of its length brings the last line
// into view once the memo has laid its lines out again.
void TFormMain::FollowLog() {
  QScrollBar* bar = MemoMessage->verticalScrollBar();
  connect(bar, &QAbstractSlider::actionTriggered, this,
          [this, bar](int) { followLog_ = bar->sliderPosition() >= bar->maximum(); });
  connect(bar, &QAbstractSlider::valueChanged, this, [this, bar](int value) {
    if (value >= bar->maximum()) followLog_ = true;
  });
  connect(bar, &QAbstractSlider::rangeChanged, this, [this, bar] {
    if (!followLog_) return;
    QMetaObject::invokeMethod(
        bar,
        [this, bar] {
          if (followLog_) bar->setValue(bar->maximum());
        },
        Qt::QueuedConnection);
  });
}

void TFormMain::Present(void* context, const uint8_t* rgba, int32_t width, int32_t height,
                        int32_t stride) {
  TFormMain& form = *static_cast<TFormMain*>(context);
  const auto start = TFrameStats::Clock::now();
  form.ListBoxView->TakeFrame(rgba, width, height, stride);
  if (form.meter_) form.meter_->AddPresent(TFrameStats::Since(start));
}

bool TFormMain::FormShow() {
  // Parameters, panels, timing and replay at rest.
  TimerInterval->setInterval(kTickMilliseconds);
  session_->PrepareState();
  state::TMainState& s = State();
  const TCommandLine& line = options_.CommandLine;
  for (const std::string& problem : settingsProblems_) s.Log(problem);
  ApplyModel();

  const auto fail = [&](const std::string& text, const std::string& detail = {}) {
    ShowErrorBox(text, detail);
    close();
    if (!closed_) FormClose();
    return false;
  };

  // The renderer on the 3D view.
  if (renderer_.DXInitialize(&view_, 0, 0) != 0) {
    return fail("DirectX の初期化ができません");
  }
  rendererReady_ = true;

  // Vehicle types and their shapes.
  const vehicle::TVehicleLoadResult vehicles = session_->LoadVehicleTypes(renderer_);
  for (const std::string& notice : vehicles.Notices) s.Log(notice);
  if (!vehicles.Ok()) {
    if (vehicles.Error) ShowErrorBox(DataFileFault(*vehicles.Error), vehicles.Error->Message());
    return fail("DirectX の乗物形状初期化ができません");
  }

  // The world: enough renderer slots, then ground.dat and objects.dat.
  bool worldLoaded = renderer_.DXGetNumOfVertexBufs() >= kRequiredVertexBuffers;
  if (!worldLoaded) {
    ShowErrorBox("描画ライブラリの頂点バッファが足りません（" +
                     std::to_string(kRequiredVertexBuffers) + " 個必要です）。",
                 "the renderer offers " + std::to_string(renderer_.DXGetNumOfVertexBufs()) +
                     " vertex buffers, fewer than " + std::to_string(kRequiredVertexBuffers));
  } else {
    const world::TWorldLoad world = session_->LoadWorld(renderer_);
    for (const std::string& notice : world.Ground.Notices) s.Log(notice);
    if (!world.Ground.Ok()) {
      if (world.Ground.Error) {
        ShowErrorBox(DataFileFault(*world.Ground.Error), world.Ground.Error->Message());
      }
    } else {
      for (const std::string& notice : world.Objects.TrackNotices) s.Log(notice);
      for (const std::string& notice : world.Objects.Notices) s.Log(notice);
      if (!world.Objects.Ok() && !world.Objects.Message.empty()) {
        ShowErrorBox(world.Objects.Message);
      } else if (!world.Objects.Ok() && world.Objects.Error) {
        ShowErrorBox(DataFileFault(*world.Objects.Error), world.Objects.Error->Message());
      }
    }
    worldLoaded = world.Ok();
  }
  if (!worldLoaded) return fail("DirectX の固定物体初期化ができません");
  worldDriver_.Prepare(session_->World().Objects);

  frame_->Renderer = &drawCost_->Renderer();
  frame_->WorldDriver = &worldDriver_;
  frame_->View = &ListBoxView->Canvas();
  frame_->ViewWidth = ListBoxView->width();
  frame_->ViewHeight = ListBoxView->height();
  frame_->PFD = &ListBoxPFD->Canvas();
  frame_->Indicator = &ListBoxIndicator->Canvas();
  frame_->Navi = &ListBoxNavi->Canvas();
  frame_->Power = &ListBoxPower->Canvas();
  if (meter_) {
    for (TCanvasWidget* canvas : {ListBoxPFD, ListBoxIndicator, ListBoxNavi, ListBoxPower}) {
      canvas->Canvas().TimeSessions(meter_->InstrumentDrawTime());
    }
  }
  started_ = true;
  OpenSound();
  ApplyModel();

  // A saved replay plays without a server: the tick runs on the local clock.
  if (line.ReplayFile) {
    const app::TReplayLoadResult replay = app::LoadReplayFile(*line.ReplayFile);
    const std::string unplayable = "リプレイファイル " + *line.ReplayFile + " を再生できません。";
    if (!replay.Recording) return fail(unplayable, replay.Error);
    const std::string unknown = app::CheckReplayForms(*replay.Recording, s.Forms, *line.ReplayFile);
    if (!unknown.empty()) return fail(unplayable, unknown);
    RunCore([&] { app::OpenReplay(s, *replay.Recording, Now()); });
    s.TimerEnabled = true;
    ApplyModel();
    return true;
  }

  // The login: the handle first, then the connection that carries it. It
  // starts from the event loop, as the query waits for the user.
  s.ReceiveRemainder.clear();
  if (options_.OpenSocket) {
    TimerSilence->start();
    QTimer::singleShot(0, this, [this] { RunCore([this] { app::StartLogin(State()); }); });
  }
  return true;
}

void TFormMain::FormClose() {
  if (closed_) return;
  if (logbook_) logbook_->Close(Now());
  closed_ = true;
  TimerInterval->stop();
  TimerSilence->stop();
  State().TimerEnabled = false;
  soundOutput_.Close();
  // No socket event may reach the core once the form is closing.
  session_->Close();
  if (rendererReady_) {
    renderer_.DXTerminate();
    rendererReady_ = false;
  }
  help_.close();
  if (settingsForm_) settingsForm_->close();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  QCoreApplication::exit(exitCode_);
}

void TFormMain::ShowErrorBox(const std::string& text, const std::string& detail) {
  exitCode_ = 1;
  std::fprintf(stderr, "velmora: %s\n", text.c_str());
  if (!detail.empty()) std::fprintf(stderr, "velmora: %s\n", detail.c_str());
  std::fflush(stderr);
  // At most one box at a time: a message that comes while one is open goes
  // to the log.
  if (boxOpen_) {
    State().Log(text);
    ApplyModel();
    return;
  }
  errorsShown_.push_back(text);
  if (options_.Headless) return;
  boxOpen_ = true;
  QMessageBox::critical(this, "Velmora", Text(text));
  boxOpen_ = false;
}

void TFormMain::AskLogin() {
  // The query runs its own event loop: a second request meanwhile is the same question.
  if (asking_) return;
  asking_ = true;
  std::optional<std::string> handle;
  bool fromFlag = false;
  if (options_.LoginQuery) {
    handle = options_.LoginQuery();
  } else if (options_.CommandLine.Handle && !handleUsed_) {
    // The --handle answer serves the first query only: a server that refuses
    // the name would otherwise be asked the same name for ever.
    handleUsed_ = true;
    fromFlag = true;
    handle = options_.CommandLine.Handle;
  } else if (options_.Headless) {
    std::fprintf(stderr, "velmora: the login query needs an answer: start with --handle NAME\n");
    exitCode_ = 1;
  } else {
    bool ok = false;
    const QString answer = QInputDialog::getText(this, "ログイン", "ハンドル名を入れてください。",
                                                 QLineEdit::Normal,
                                                 QString::fromStdString(settings_.Handle), &ok);
    if (ok) handle = answer.toStdString();
  }
  asking_ = false;
  if (closed_) return;
  if (handle) State().Figures.Handle = *handle;
  // A handle the user gave (not --handle) and its server are the next start's.
  if (handle && !fromFlag && options_.Settings != nullptr) {
    app::RememberLogin(settings_, {options_.CommandLine.Host, options_.CommandLine.Port}, *handle);
    std::string error;
    if (!options_.Settings->Save(app::ConnectionEntries(settings_), error)) State().Log(error);
  }
  app::LoginAnswered(State(), handle);
}

void TFormMain::OfferRelogin(const std::string& text) {
  std::fprintf(stderr, "velmora: %s\n", text.c_str());
  std::fflush(stderr);
  errorsShown_.push_back(text);
  // The run the connection ended goes to the logbook now, and the tick stops.
  if (logbook_) logbook_->AfterTick();
  ApplyModel();
  bool again = false;
  if (options_.ReloginQuery) {
    again = options_.ReloginQuery(text);
  } else if (!options_.Headless) {
    const TCommandLine& line = options_.CommandLine;
    QMessageBox box(QMessageBox::Critical, "Velmora", Text(text), QMessageBox::NoButton, this);
    box.setInformativeText(Text("サーバー " + net::JoinHostPort(line.Host, line.Port) +
                                " に、ハンドル名「" + State().LoginHandle +
                                "」でログインし直せます。"));
    QPushButton* relogin = box.addButton("再ログイン", QMessageBox::AcceptRole);
    box.addButton("閉じる", QMessageBox::RejectRole);
    box.setDefaultButton(relogin);
    boxOpen_ = true;
    box.exec();
    boxOpen_ = false;
    again = box.clickedButton() == relogin;
  }
  if (closed_) return;
  if (!again) exitCode_ = 1;
  app::ReloginAnswered(State(), again);
}

void TFormMain::CarryOutRequests() { session_->CarryOutRequests(); }

void TFormMain::CarryOutWindowRequests(state::TShellRequests& r) {
  if (!r.ErrorBoxes.empty()) {
    // One box for a flood of messages: the one that explains a close, else
    // the first; the others go to the log.
    const std::size_t boxed = r.Close ? r.ErrorBoxes.size() - 1 : 0;
    for (std::size_t i = 0; i < r.ErrorBoxes.size(); ++i) {
      if (i == boxed) continue;
      std::fprintf(stderr, "velmora: %s\n", r.ErrorBoxes[i].c_str());
      State().Log(r.ErrorBoxes[i]);
    }
    if (r.ErrorBoxes.size() > 1) ApplyModel();
    ShowErrorBox(r.ErrorBoxes[boxed]);
  }
  if (r.AskLogin && !closed_) AskLogin();
  if (!r.ReloginBox.empty() && !closed_) OfferRelogin(r.ReloginBox);
  if (r.ShowHelpBottomRight) {
    // Where it hides nothing the user needs, the message log least of all.
    if (const QScreen* place = screen()) {
      const QRect view(ListBoxView->mapToGlobal(QPoint(0, 0)), ListBoxView->size());
      help_.move(HelpPlace(place->availableGeometry(), frameGeometry(), view,
                           help_.frameGeometry().size()));
    }
    help_.show();
  }
  if (r.ShowHelp) {
    help_.show();
    help_.raise();
  }
  if (r.FocusChatInput) EditChatInput->setFocus();
  for (const std::string& link : r.OpenLinks) QDesktopServices::openUrl(LinkUrl(link));
  if (r.Close) {
    close();
    if (!closed_) FormClose();
  }
}

void TFormMain::SyncGrid(QTableWidget* grid, int rows, const std::string* cells, int selected) {
  if (grid->rowCount() != rows) grid->setRowCount(rows);
  for (int r = 0; r < rows; ++r) {
    const QString text = Text(cells[r]);
    QTableWidgetItem* item = grid->item(r, 0);
    if (item == nullptr) {
      item = new QTableWidgetItem(text);
      grid->setItem(r, 0, item);
    } else if (item->text() == text) {
      continue;
    }
    // A text wider than the grid is cut there: the tip shows it whole.
    item->setText(text);
    item->setToolTip(text.trimmed());
  }
  if (selected >= 0 && selected < rows && grid->currentRow() != selected) {
    grid->setCurrentCell(selected, 0);
  }
}

void TFormMain::ApplyModel() {
  const state::TMainState& s = State();
  syncing_ = true;
  // The key list names the keys of the vehicle in use.
  if (app::KeyTableFor(s.Own.Kind) != helpKeys_) {
    helpKeys_ = app::KeyTableFor(s.Own.Kind);
    help_.ShowKeys(settings_.Keys, helpKeys_);
  }
  ListBoxPFD->setVisible(s.Panels.PFD);
  ListBoxIndicator->setVisible(s.Panels.Indicator);
  ListBoxNavi->setVisible(s.Panels.Navi);
  StringGridDest->setVisible(s.Panels.Dest);
  StringGridVideo->setVisible(s.Panels.Video);
  ListBoxPower->setVisible(s.Panels.Power);

  SyncGrid(StringGridMission, std::clamp(s.MissionRowCount, 0, state::kMissionRows),
           s.MissionCells.data(), s.MissionRow);
  if (s.World != nullptr) {
    const world::TDestinationPanel& panel = s.World->DestinationPanel;
    SyncGrid(StringGridDest, std::clamp(panel.RowCount, 0, world::kDestinationPanelRows),
             panel.Rows.data(), s.DestRow);
  }
  static const std::array<std::string, kVideoRowCount> videoCells = [] {
    std::array<std::string, kVideoRowCount> cells;
    for (int i = 0; i < kVideoRowCount; ++i) cells[static_cast<std::size_t>(i)] = kVideoRows[i];
    return cells;
  }();
  SyncGrid(StringGridVideo, std::clamp(s.VideoRowCount, state::kVideoRowsLive, kVideoRowCount),
           videoCells.data(), s.VideoRow);

  // The log keeps its last lines only; lines logged and dropped since the
  // last mirror never reach the memo.
  if (s.MessageLogCount < logShown_) {
    MemoMessage->clear();
    logShown_ = 0;
  }
  const uint64_t fresh = std::min<uint64_t>(s.MessageLogCount - logShown_, s.MessageLog.size());
  for (std::size_t i = s.MessageLog.size() - fresh; i < s.MessageLog.size(); ++i) {
    MemoMessage->appendPlainText(Text(s.MessageLog[i]));
  }
  logShown_ = s.MessageLogCount;
  const QString caption = Text(s.Caption);
  if (windowTitle() != caption) setWindowTitle(caption);

  if (!closed_ && s.TimerEnabled != TimerInterval->isActive()) {
    if (s.TimerEnabled) {
      TimerInterval->start();
    } else {
      TimerInterval->stop();
    }
  }
  syncing_ = false;
}

void TFormMain::TimerIntervalTimer() {
  if (closed_) return;
  const app::TJoystickReading reading =
      joystick_ != nullptr ? joystick_->Read() : app::TJoystickReading{};
  // Buttons and levers mapped to actions act through the key handlers.
  if (joystick_ != nullptr) app::ApplyJoystick(State(), joystickHeld_, joystick_->Mapped(), Now());
  if (meter_) meter_->TickBegin();
  session_->Tick([&] { return reading; }, hooks_.get());
  if (logbook_) logbook_->AfterTick();
  PlaySound();
  if (meter_) meter_->TickEnd();
}

void TFormMain::FormPaint() {
  if (started_ && rendererReady_ && !closed_ && !TimerInterval->isActive()) {
    cockpit::DrawFrame(State(), *frame_, Now());
  }
}

void TFormMain::TickFrame() {
  // Nothing is drawn while the window is minimised or fully covered. A form
  // never shown has no window yet and draws (tests take its pictures).
  const QWindow* window = windowHandle();
  const bool seen = !isMinimized() && (window == nullptr || window->isExposed());
  DrawFrameNow(seen && pacer_.Due(Clock().SystemMilliseconds()));
}

void TFormMain::DrawFrameNow(bool pixels) {
  pixelsThisTick_ = pixels;
  if (!rendererReady_ || !started_) return;
  if (!pixels) {
    cockpit::DrawFrame(State(), *frame_, Now(), false);
    return;
  }
  if (meter_) meter_->FrameBegin();
  cockpit::DrawFrame(State(), *frame_, Now());
  if (meter_) {
    meter_->FrameEnd();
    meter_->AddRenderScale(renderScale_.Percent(), renderScale_.Automatic());
  }
  // Once a second the render scale looks at what drawing cost.
  drawCost_->NoteFrame(ListBoxView->FrameRepeated());
  if (const auto second = drawCost_->Second(1000.0 / pacer_.Rate())) {
    if (renderScale_.Second(*second)) {
      ApplyRenderScale();
      ApplyFrameRate();
    }
  }
  if (ListBoxView->isVisible()) ListBoxView->update();
  for (TCanvasWidget* canvas : {ListBoxPFD, ListBoxIndicator, ListBoxNavi, ListBoxPower}) {
    if (canvas->isVisible()) canvas->UpdateIfChanged();
  }
}

void TFormMain::StringGridMissionClick() {
  if (syncing_ || !StringGridMission->hasFocus()) return;
  const auto mission = app::MissionForRow(State(), StringGridMission->currentRow());
  if (!mission) return;
  const int32_t missionNo = *mission;
  QTimer::singleShot(kMissionPause, this, [this, missionNo] {
    if (closed_) return;
    app::SendMission(State(), missionNo);
    State().Requests.FocusChatInput = true;
    CarryOutRequests();
  });
}

void TFormMain::StringGridVideoClick() {
  if (syncing_ || !StringGridVideo->hasFocus()) return;
  const int row = StringGridVideo->currentRow();
  RunCore([&] { app::StringGridVideoClick(State(), row, Now()); });
}

void TFormMain::SaveReplay() {
  const QDateTime t = QDateTime::currentDateTime();
  const std::string name = app::ReplayFileName(t.date().year(), t.date().month(), t.date().day(),
                                               t.time().hour(), t.time().minute(),
                                               t.time().second());
  const std::string folder = app::ReplayFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  RunCore([&] { app::SaveReplay(State(), folder, name); });
}

void TFormMain::StringGridDestClick() {
  // A row the program selects is no choice of the user's.
  if (syncing_ || !StringGridDest->hasFocus()) return;
  State().DestRow = StringGridDest->currentRow();
  const app::TCockpitCanvases canvases{&ListBoxPFD->Canvas(), &ListBoxIndicator->Canvas(),
                                       &ListBoxPower->Canvas()};
  RunCore([&] { app::StringGridDestClick(State(), Now(), canvases); });
  ListBoxPFD->update();
  ListBoxIndicator->update();
  ListBoxPower->update();
}

void TFormMain::ButtonChatClick() {
  app::SendChat(State(), EditChatInput->text().toStdString());
  EditChatInput->clear();
  CarryOutRequests();
}

void TFormMain::FormKeyDown(int32_t& key, uint32_t shift) {
  RunCore([&] { app::OnKeyDown(State(), key, shift, Now()); });
}

void TFormMain::FormKeyUp(int32_t& key, uint32_t shift) {
  RunCore([&] { app::OnKeyUp(State(), key, shift); });
}

bool TFormMain::HandleKeyEvent(QKeyEvent* event, bool down) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter) {
    // The chat button is the form's default button: Enter clicks it from
    // every control but the log and the button itself.
    if (!down || event->isAutoRepeat()) return false;
    QWidget* focus = QApplication::focusWidget();
    if (focus == MemoMessage || focus == ButtonChat || focus == EditChatInput) return false;
    ButtonChatClick();
    return true;
  }
  // Ctrl+S saves the replay; the key table leaves it free.
  if (event->key() == Qt::Key_S && (event->modifiers() & Qt::ControlModifier)) {
    if (down && !event->isAutoRepeat()) SaveReplay();
    return true;
  }
  // Ctrl+M mutes and unmutes; the key table leaves it free too.
  if (event->key() == Qt::Key_M && (event->modifiers() & Qt::ControlModifier)) {
    if (down && !event->isAutoRepeat()) ToggleMute();
    return true;
  }
  // F11 switches full screen; the key table leaves it free too.
  if (event->key() == Qt::Key_F11) {
    if (down && !event->isAutoRepeat()) {
      ToggleFullScreen();
      RememberWindowMode();
    }
    return true;
  }
  // Ctrl+L opens the logbook; the key table leaves it free too.
  if (event->key() == Qt::Key_L && (event->modifiers() & Qt::ControlModifier)) {
    if (down && !event->isAutoRepeat() && logbook_) logbook_->ShowWindow();
    return true;
  }
  const int32_t pressed = VirtualKey(event->key(), event->modifiers());
  if (pressed == app::kKeySettings) {
    if (down && !event->isAutoRepeat()) ShowSettings();
    return true;
  }
  // Keys that type text stay the chat line's while it has the focus.
  if (pressed == 0 || (TypesText(pressed) && QApplication::focusWidget() == EditChatInput)) {
    return false;
  }
  // The bound key's action, as the handlers know it: its shipped key.
  const auto action = settings_.Keys[app::KeyTableFor(State().Own.Kind)].ActionOf(pressed);
  if (!action) return false;
  const app::TShippedKey shipped = app::ShippedAction(*action);
  int32_t key = shipped.Key;
  // Held keys repeat their key-down only, as the controls expect.
  if (!down && event->isAutoRepeat()) return true;
  const uint32_t shift = ShiftState(event->modifiers()) | shipped.Shift;
  if (down) {
    FormKeyDown(key, shift);
  } else {
    FormKeyUp(key, shift);
  }
  return key == 0;
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (meter_ && event->type() == QEvent::Paint) {
    // The paint is delivered here, timed, instead of after the filter.
    const bool view = watched == ListBoxView;
    if (view || watched == ListBoxPFD || watched == ListBoxIndicator || watched == ListBoxNavi ||
        watched == ListBoxPower) {
      const auto start = TFrameStats::Clock::now();
      watched->event(event);  // QObject::event is public; the widget's own runs
      meter_->AddPaint(view ? TFramePart::CopyToScreen : TFramePart::Instruments,
                       TFrameStats::Since(start));
      return true;
    }
  }
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    return HandleKeyEvent(static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress);
  }
  return QWidget::eventFilter(watched, event);
}

// A key a component leaves alone travels on to the form; it was handled in
// the component's filter already. Only keys of the form itself are handled here.
void TFormMain::keyPressEvent(QKeyEvent* event) {
  const QWidget* focus = focusWidget();
  if ((focus != nullptr && focus != this) || !HandleKeyEvent(event, true)) {
    QWidget::keyPressEvent(event);
  }
}

void TFormMain::keyReleaseEvent(QKeyEvent* event) {
  const QWidget* focus = focusWidget();
  if ((focus != nullptr && focus != this) || !HandleKeyEvent(event, false)) {
    QWidget::keyReleaseEvent(event);
  }
}

}  // namespace velmora::ui
